// The firewall's policy objects: NetFwPolicy2 hands out the rule collection over the machine's one
// rule list; NetFwRule is a rule's fields until INetFwRules::Add copies them into the list.
#include "core/state.h"
#include "ole32/com_internal.h"
#include <platform/netfw.h>
#include <sim/firewall.h>

#include <algorithm>
#include <atomic>

using namespace sim;
using namespace sim::detail;

const CLSID CLSID_NetFwPolicy2 = {
    0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
const IID IID_INetFwPolicy2 = {0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
const CLSID CLSID_NetFwRule = {0x2C5BC43E, 0x3369, 0x4C33, {0xAB, 0x0C, 0xBE, 0x94, 0x69, 0x67, 0x7A, 0xF4}};
const IID IID_INetFwRule = {0xAF230D27, 0xBABA, 0x4E42, {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}};
const IID IID_INetFwRules = {0x9C4C6277, 0x5027, 0x441E, {0xAF, 0xAE, 0xCA, 0x1F, 0x54, 0x2D, 0xA0, 0x09}};

namespace
{
struct FirewallState : PartBase
{
    std::vector<FirewallRule> rules;
};

FirewallState& state()
{
    return Part<FirewallState>();
}

std::atomic<int> g_openObjects{0};

bool Elevated()
{
    const Process& p = CurrentProcess();
    return p.elevated.value_or(Administrator());
}

WString FromBstr(BSTR text)
{
    return text ? WString(text, SysStringLen(text)) : WString();
}

HRESULT ToBstr(const WString& text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = SysAllocString(text.c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
}

// Names match without regard to case; of rules with one name, the first added is found.
std::vector<FirewallRule>::iterator FindRule(std::vector<FirewallRule>& rules, const WString& name)
{
    return std::find_if(rules.begin(), rules.end(),
                        [&](const FirewallRule& rule) { return EqualNoCase(rule.name, name); });
}

template <typename T> HRESULT Out(T value, T* out)
{
    if (!out)
        return E_POINTER;
    *out = value;
    return S_OK;
}

// The dispatch half of the dual interfaces: nothing here scripts them.
template <typename Interface> class Dual : public Interface, public ComObject<Dual<Interface>>
{
public:
    Dual() { ++g_openObjects; }
    ~Dual() override { --g_openObjects; }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return this->ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return Out<UINT>(0, count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        return E_NOTIMPL;
    }

protected:
    HRESULT Query(REFIID riid, const IID& own, void** object)
    {
        if (!object)
            return E_POINTER;
        if (riid == own || riid == IID_IDispatch || riid == IID_IUnknown)
        {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
};

class Rule final : public Dual<INetFwRule>
{
public:
    explicit Rule(FirewallRule fields = {}) : r_(std::move(fields)) {}
    const FirewallRule& Fields() const { return r_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        return Query(riid, IID_INetFwRule, object);
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* v) override { return ToBstr(r_.name, v); }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR v) override
    {
        SIM_FAULT_HRESULT("INetFwRule::put_Name");
        if (!v)
            return E_INVALIDARG; // a rule must have a name
        r_.name = FromBstr(v);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Description(BSTR* v) override { return ToBstr(r_.description, v); }
    HRESULT STDMETHODCALLTYPE put_Description(BSTR v) override
    {
        r_.description = FromBstr(v);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ApplicationName(BSTR* v) override { return ToBstr(r_.applicationName, v); }
    HRESULT STDMETHODCALLTYPE put_ApplicationName(BSTR v) override
    {
        SIM_FAULT_HRESULT("INetFwRule::put_ApplicationName");
        r_.applicationName = FromBstr(v);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_serviceName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_serviceName(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Protocol(LONG* v) override { return Out(r_.protocol, v); }
    HRESULT STDMETHODCALLTYPE put_Protocol(LONG v) override
    {
        r_.protocol = v;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_LocalPorts(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_LocalPorts(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_RemotePorts(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RemotePorts(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LocalAddresses(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_LocalAddresses(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_IcmpTypesAndCodes(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_IcmpTypesAndCodes(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Direction(NET_FW_RULE_DIRECTION* v) override
    {
        return Out(static_cast<NET_FW_RULE_DIRECTION>(r_.direction), v);
    }
    HRESULT STDMETHODCALLTYPE put_Direction(NET_FW_RULE_DIRECTION v) override
    {
        SIM_FAULT_HRESULT("INetFwRule::put_Direction");
        if (v != NET_FW_RULE_DIR_IN && v != NET_FW_RULE_DIR_OUT)
            return E_INVALIDARG;
        r_.direction = v;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Interfaces(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Interfaces(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_InterfaceTypes(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_InterfaceTypes(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* v) override
    {
        return Out<VARIANT_BOOL>(r_.enabled ? VARIANT_TRUE : VARIANT_FALSE, v);
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL v) override
    {
        SIM_FAULT_HRESULT("INetFwRule::put_Enabled");
        r_.enabled = v != VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Grouping(BSTR* v) override { return ToBstr(r_.grouping, v); }
    HRESULT STDMETHODCALLTYPE put_Grouping(BSTR v) override
    {
        r_.grouping = FromBstr(v);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Profiles(LONG* v) override { return Out(r_.profiles, v); }
    HRESULT STDMETHODCALLTYPE put_Profiles(LONG v) override
    {
        SIM_FAULT_HRESULT("INetFwRule::put_Profiles");
        r_.profiles = v;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_EdgeTraversal(VARIANT_BOOL* v) override { return Out(VARIANT_FALSE, v); }
    HRESULT STDMETHODCALLTYPE put_EdgeTraversal(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Action(NET_FW_ACTION* v) override
    {
        return Out(static_cast<NET_FW_ACTION>(r_.action), v);
    }
    HRESULT STDMETHODCALLTYPE put_Action(NET_FW_ACTION v) override
    {
        SIM_FAULT_HRESULT("INetFwRule::put_Action");
        if (v != NET_FW_ACTION_ALLOW && v != NET_FW_ACTION_BLOCK)
            return E_INVALIDARG;
        r_.action = v;
        return S_OK;
    }

private:
    FirewallRule r_;
};

class Rules final : public Dual<INetFwRules>
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        return Query(riid, IID_INetFwRules, object);
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override
    {
        std::lock_guard g(StateLock());
        return Out(static_cast<LONG>(state().rules.size()), count);
    }
    HRESULT STDMETHODCALLTYPE Add(INetFwRule* rule) override
    {
        SIM_FAULT_HRESULT("INetFwRules::Add");
        if (!rule)
            return E_POINTER;
        if (!Elevated())
            return E_ACCESSDENIED;
        // Only the machine's own rule objects come here; they carry their fields.
        const FirewallRule& fields = static_cast<Rule*>(rule)->Fields();
        if (fields.name.empty())
            return E_INVALIDARG;
        std::lock_guard g(StateLock());
        state().rules.push_back(fields); // a second rule of the same name is a rule of its own
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Remove(BSTR name) override
    {
        SIM_FAULT_HRESULT("INetFwRules::Remove");
        if (!Elevated())
            return E_ACCESSDENIED;
        WString wanted = FromBstr(name);
        std::lock_guard g(StateLock());
        auto& rules = state().rules;
        if (auto it = FindRule(rules, wanted); it != rules.end())
            rules.erase(it);
        return S_OK; // a name that is not there is already removed
    }
    HRESULT STDMETHODCALLTYPE Item(BSTR name, INetFwRule** rule) override
    {
        if (!rule)
            return E_POINTER;
        *rule = nullptr;
        WString wanted = FromBstr(name);
        std::lock_guard g(StateLock());
        auto& rules = state().rules;
        auto it = FindRule(rules, wanted);
        if (it == rules.end())
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        *rule = new Rule(*it);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
};

class Policy final : public Dual<INetFwPolicy2>
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        return Query(riid, IID_INetFwPolicy2, object);
    }
    HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* v) override
    {
        return Out<LONG>(NET_FW_PROFILE2_PRIVATE, v);
    }
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL* v) override
    {
        return Out(VARIANT_TRUE, v);
    }
    HRESULT STDMETHODCALLTYPE put_FirewallEnabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_ExcludedInterfaces(NET_FW_PROFILE_TYPE2, VARIANT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_ExcludedInterfaces(NET_FW_PROFILE_TYPE2, VARIANT) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2, VARIANT_BOOL* v) override
    {
        return Out(VARIANT_FALSE, v);
    }
    HRESULT STDMETHODCALLTYPE put_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2, VARIANT_BOOL) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_NotificationsDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL* v) override
    {
        return Out(VARIANT_FALSE, v);
    }
    HRESULT STDMETHODCALLTYPE put_NotificationsDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_UnicastResponsesToMulticastBroadcastDisabled(NET_FW_PROFILE_TYPE2,
                                                                               VARIANT_BOOL* v) override
    {
        return Out(VARIANT_FALSE, v);
    }
    HRESULT STDMETHODCALLTYPE put_UnicastResponsesToMulticastBroadcastDisabled(NET_FW_PROFILE_TYPE2,
                                                                               VARIANT_BOOL) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules** rules) override
    {
        if (!rules)
            return E_POINTER;
        *rules = nullptr;
        SIM_FAULT_HRESULT("INetFwPolicy2::get_Rules");
        *rules = new Rules;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ServiceRestriction(INetFwServiceRestriction**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnableRuleGroup(LONG, BSTR, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsRuleGroupEnabled(LONG, BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RestoreLocalFirewallDefaults() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DefaultInboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION* v) override
    {
        return Out(NET_FW_ACTION_BLOCK, v);
    }
    HRESULT STDMETHODCALLTYPE put_DefaultInboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_DefaultOutboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION* v) override
    {
        return Out(NET_FW_ACTION_ALLOW, v);
    }
    HRESULT STDMETHODCALLTYPE put_DefaultOutboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_IsRuleGroupCurrentlyEnabled(BSTR, VARIANT_BOOL*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_LocalPolicyModifyState(NET_FW_MODIFY_STATE* v) override
    {
        return Out(NET_FW_MODIFY_STATE_OK, v);
    }
};

template <typename T> HRESULT Make(REFIID riid, void** object)
{
    auto* made = new T;
    HRESULT hr = made->QueryInterface(riid, object);
    made->Release();
    return hr;
}
} // namespace

namespace sim::detail
{
HRESULT CreateFirewallPolicy(REFIID riid, void** object)
{
    return Make<Policy>(riid, object);
}

HRESULT CreateFirewallRule(REFIID riid, void** object)
{
    return Make<Rule>(riid, object);
}
} // namespace sim::detail

namespace sim
{
std::vector<FirewallRule> Firewall::Rules() const
{
    std::lock_guard g(StateLock());
    return state().rules;
}

void Firewall::AddRule(const FirewallRule& rule)
{
    std::lock_guard g(StateLock());
    state().rules.push_back(rule);
}

int Firewall::OpenObjects() const
{
    return g_openObjects.load();
}

Firewall& firewall()
{
    static Firewall f;
    return f;
}
} // namespace sim
