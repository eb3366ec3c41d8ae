// Linux declarations: the firewall's policy (hnetcfg), written from the documented API, methods in
// the order the interfaces define them; included by platform/netfw.h.
#pragma once

struct INetFwServiceRestriction;

typedef enum NET_FW_PROFILE_TYPE2_
{
    NET_FW_PROFILE2_DOMAIN = 0x1,
    NET_FW_PROFILE2_PRIVATE = 0x2,
    NET_FW_PROFILE2_PUBLIC = 0x4,
    NET_FW_PROFILE2_ALL = 0x7FFFFFFF,
} NET_FW_PROFILE_TYPE2;

typedef enum NET_FW_RULE_DIRECTION_
{
    NET_FW_RULE_DIR_IN = 1,
    NET_FW_RULE_DIR_OUT = 2,
} NET_FW_RULE_DIRECTION;

typedef enum NET_FW_ACTION_
{
    NET_FW_ACTION_BLOCK = 0,
    NET_FW_ACTION_ALLOW = 1,
} NET_FW_ACTION;

typedef enum NET_FW_MODIFY_STATE_
{
    NET_FW_MODIFY_STATE_OK = 0,
    NET_FW_MODIFY_STATE_GP_OVERRIDE = 1,
    NET_FW_MODIFY_STATE_INBOUND_BLOCKED = 2,
} NET_FW_MODIFY_STATE;

struct INetFwRule : IDispatch
{
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* description) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR description) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ApplicationName(BSTR* imageFileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ApplicationName(BSTR imageFileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_serviceName(BSTR* serviceName) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_serviceName(BSTR serviceName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Protocol(LONG* protocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Protocol(LONG protocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LocalPorts(BSTR* portNumbers) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LocalPorts(BSTR portNumbers) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RemotePorts(BSTR* portNumbers) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_RemotePorts(BSTR portNumbers) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LocalAddresses(BSTR* localAddrs) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LocalAddresses(BSTR localAddrs) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR* remoteAddrs) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR remoteAddrs) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IcmpTypesAndCodes(BSTR* icmpTypesAndCodes) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IcmpTypesAndCodes(BSTR icmpTypesAndCodes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Direction(NET_FW_RULE_DIRECTION* dir) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Direction(NET_FW_RULE_DIRECTION dir) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Interfaces(VARIANT* interfaces) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Interfaces(VARIANT interfaces) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InterfaceTypes(BSTR* interfaceTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InterfaceTypes(BSTR interfaceTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Grouping(BSTR* context) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Grouping(BSTR context) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Profiles(LONG* profileTypesBitmask) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Profiles(LONG profileTypesBitmask) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EdgeTraversal(VARIANT_BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_EdgeTraversal(VARIANT_BOOL enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Action(NET_FW_ACTION* action) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Action(NET_FW_ACTION action) = 0;
};

struct INetFwRules : IDispatch
{
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Add(INetFwRule* rule) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(BSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE Item(BSTR name, INetFwRule** rule) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** newEnum) = 0;
};

struct INetFwPolicy2 : IDispatch
{
    virtual HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* profileTypesBitmask) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2 profileType,
                                                          VARIANT_BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_FirewallEnabled(NET_FW_PROFILE_TYPE2 profileType,
                                                          VARIANT_BOOL enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ExcludedInterfaces(NET_FW_PROFILE_TYPE2 profileType,
                                                             VARIANT* interfaces) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ExcludedInterfaces(NET_FW_PROFILE_TYPE2 profileType,
                                                             VARIANT interfaces) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2 profileType,
                                                                 VARIANT_BOOL* block) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2 profileType,
                                                                 VARIANT_BOOL block) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NotificationsDisabled(NET_FW_PROFILE_TYPE2 profileType,
                                                                VARIANT_BOOL* disabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NotificationsDisabled(NET_FW_PROFILE_TYPE2 profileType,
                                                                VARIANT_BOOL disabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_UnicastResponsesToMulticastBroadcastDisabled(
        NET_FW_PROFILE_TYPE2 profileType, VARIANT_BOOL* disabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_UnicastResponsesToMulticastBroadcastDisabled(
        NET_FW_PROFILE_TYPE2 profileType, VARIANT_BOOL disabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules** rules) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    get_ServiceRestriction(INetFwServiceRestriction** serviceRestriction) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableRuleGroup(LONG profileTypesBitmask, BSTR group,
                                                      VARIANT_BOOL enable) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsRuleGroupEnabled(LONG profileTypesBitmask, BSTR group,
                                                         VARIANT_BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE RestoreLocalFirewallDefaults() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DefaultInboundAction(NET_FW_PROFILE_TYPE2 profileType,
                                                               NET_FW_ACTION* action) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DefaultInboundAction(NET_FW_PROFILE_TYPE2 profileType,
                                                               NET_FW_ACTION action) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DefaultOutboundAction(NET_FW_PROFILE_TYPE2 profileType,
                                                                NET_FW_ACTION* action) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_DefaultOutboundAction(NET_FW_PROFILE_TYPE2 profileType,
                                                                NET_FW_ACTION action) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsRuleGroupCurrentlyEnabled(BSTR group, VARIANT_BOOL* enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LocalPolicyModifyState(NET_FW_MODIFY_STATE* modifyState) = 0;
};

extern const CLSID CLSID_NetFwPolicy2;
extern const IID IID_INetFwPolicy2;
extern const CLSID CLSID_NetFwRule;
extern const IID IID_INetFwRule;
extern const IID IID_INetFwRules;
