#include "firewall.h"

namespace firewall
{

namespace
{
template <typename T> void ReleaseInterface(T*& object)
{
    if (object)
    {
        object->Release();
        object = nullptr;
    }
}

void FreeString(BSTR& text)
{
    SysFreeString(text);
    text = nullptr;
}
} // namespace

CFirewallRuleEditor::CFirewallRuleEditor(INetFwPolicy2*& policy) : policy_(policy) {}

CFirewallRuleEditor::~CFirewallRuleEditor()
{
    Release();
}

void CFirewallRuleEditor::Release()
{
    FreeString(nameString_);
    FreeString(pathString_);
    ReleaseInterface(rule_);
    ReleaseInterface(rules_);
}

HRESULT CFirewallRuleEditor::FormatName(LPCWSTR name)
{
    name_[0] = 0;
    if (!name)
        return E_INVALIDARG;
    UINT i = 0;
    for (; i < kNameCapacity - 1 && name[i]; ++i)
        name_[i] = name[i];
    name_[i] = 0;
    return name[i] ? kNameTooLong : S_OK;
}

HRESULT CFirewallRuleEditor::MakeNameString()
{
    nameString_ = SysAllocString(name_);
    return nameString_ ? S_OK : E_OUTOFMEMORY;
}

HRESULT CFirewallRuleEditor::Begin(LPCWSTR name)
{
    Release();
    result_ = FormatName(name);
    if (SUCCEEDED(result_))
        result_ = MakeNameString();
    return result_;
}

HRESULT CFirewallRuleEditor::Add(LPCWSTR name, LPCWSTR applicationPath)
{
    if (FAILED(Begin(name)))
        return result_;
    pathString_ = applicationPath ? SysAllocString(applicationPath) : nullptr;
    if (!pathString_)
        return result_ = applicationPath ? E_OUTOFMEMORY : E_INVALIDARG;
    if (!policy_)
        return result_ = E_POINTER;

    result_ = policy_->get_Rules(&rules_);
    if (FAILED(result_))
        return result_;
    result_ = CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                               reinterpret_cast<void**>(&rule_));
    if (FAILED(result_))
        return result_;
    result_ = rule_->put_Name(nameString_);
    if (SUCCEEDED(result_))
        result_ = rule_->put_Direction(NET_FW_RULE_DIR_IN);
    if (SUCCEEDED(result_))
        result_ = rule_->put_Action(NET_FW_ACTION_ALLOW);
    if (SUCCEEDED(result_))
        result_ = rule_->put_ApplicationName(pathString_);
    if (SUCCEEDED(result_))
        result_ = rule_->put_Profiles(NET_FW_PROFILE2_ALL);
    if (SUCCEEDED(result_))
        result_ = rule_->put_Enabled(VARIANT_TRUE);
    if (SUCCEEDED(result_))
        result_ = rules_->Add(rule_);
    return result_;
}

HRESULT CFirewallRuleEditor::Remove(LPCWSTR name)
{
    if (FAILED(Begin(name)))
        return result_;
    if (!policy_)
        return result_ = E_POINTER;
    result_ = policy_->get_Rules(&rules_);
    if (SUCCEEDED(result_))
        result_ = rules_->Remove(nameString_);
    return result_;
}

CFirewallPolicy::CFirewallPolicy()
{
    coInitResult = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // A thread already in the multithreaded apartment can still make the in-process objects.
    if (coInitResult != S_OK && coInitResult != S_FALSE && coInitResult != RPC_E_CHANGED_MODE)
    {
        policyResult = coInitResult;
        return;
    }
    policyResult = CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2,
                                    reinterpret_cast<void**>(&policy));
    if (FAILED(policyResult))
    {
        policy = nullptr;
        return;
    }
    editor = std::make_unique<CFirewallRuleEditor>(policy);
}

CFirewallPolicy::~CFirewallPolicy()
{
    editor.reset();
    ReleaseInterface(policy);
    if (SUCCEEDED(coInitResult)) // not after RPC_E_CHANGED_MODE: that call did not enter anything
        CoUninitialize();
}

HRESULT CFirewallPolicy::AddApplicationRule(LPCWSTR name, LPCWSTR applicationPath)
{
    return editor ? editor->Add(name, applicationPath) : policyResult;
}

HRESULT CFirewallPolicy::RemoveRule(LPCWSTR name)
{
    return editor ? editor->Remove(name) : policyResult;
}

} // namespace firewall
