// An inbound allow rule of the Windows Firewall for a program, opened while the program runs: the
// setup program and the network-card finder both look for cards over UDP. Used on a program's UI
// thread only; failures come back as HRESULTs and are not shown.
#pragma once

#include <platform/netfw.h>

#include <memory>

namespace firewall
{

inline constexpr UINT kNameCapacity = 260;
// A name that does not fit the name buffer (what a bounded string copy reports).
inline constexpr HRESULT kNameTooLong = static_cast<HRESULT>(0x8007007A);

// Adds and removes rules through its policy's rule collection; each call first releases what the
// previous one held, and stops at the first failing step, whose HRESULT it keeps and returns.
class CFirewallRuleEditor
{
public:
    explicit CFirewallRuleEditor(INetFwPolicy2*& policy);
    ~CFirewallRuleEditor();
    CFirewallRuleEditor(const CFirewallRuleEditor&) = delete;
    CFirewallRuleEditor& operator=(const CFirewallRuleEditor&) = delete;

    HRESULT Add(LPCWSTR name, LPCWSTR applicationPath);
    HRESULT Remove(LPCWSTR name);
    void Release();
    // The name into the name buffer; a name of kNameCapacity characters or more is cut and fails.
    HRESULT FormatName(LPCWSTR name);

    HRESULT Result() const { return result_; }
    LPCWSTR Name() const { return name_; }

private:
    HRESULT MakeNameString();
    // What both calls do first: drop the previous call's objects and take the name.
    HRESULT Begin(LPCWSTR name);

    INetFwPolicy2*& policy_;
    HRESULT result_ = S_OK;
    INetFwRules* rules_ = nullptr;
    INetFwRule* rule_ = nullptr;
    WCHAR name_[kNameCapacity] = {};
    BSTR nameString_ = nullptr;
    BSTR pathString_ = nullptr;
};

// The apartment and the policy object for the life of the object. Without a policy object (the
// firewall service is missing, COM failed) the rule calls return why and call nothing.
class CFirewallPolicy
{
public:
    CFirewallPolicy();
    ~CFirewallPolicy();
    CFirewallPolicy(const CFirewallPolicy&) = delete;
    CFirewallPolicy& operator=(const CFirewallPolicy&) = delete;

    HRESULT AddApplicationRule(LPCWSTR name, LPCWSTR applicationPath);
    HRESULT RemoveRule(LPCWSTR name);

    HRESULT coInitResult = S_OK;
    HRESULT policyResult = S_OK;
    INetFwPolicy2* policy = nullptr;
    std::unique_ptr<CFirewallRuleEditor> editor;
};

} // namespace firewall
