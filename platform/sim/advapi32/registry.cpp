// The registry: one store under the A and W functions, HKCU inside HKEY_USERS, HKCR inside
// HKLM\SOFTWARE\Classes, and the 32-bit view of HKLM\SOFTWARE under WOW6432Node on a 64-bit system.
#include "core/internal.h"
#include "core/state.h"

#include <cstring>
#include <map>
#include <vector>

namespace sim::detail
{
namespace
{
const char16_t kCurrentUserSid[] = u"S-1-5-21-1004336348-1177238915-682003330-1001";

struct Key
{
    WString name;
    std::map<WString, std::shared_ptr<Key>> children; // by folded name
    std::vector<std::pair<WString, RegistryValue>> values;
    Key* parent = nullptr;
    bool deleted = false;

    RegistryValue* FindValue(WStringView valueName)
    {
        for (auto& [n, v] : values)
            if (EqualNoCase(n, valueName))
                return &v;
        return nullptr;
    }
};

struct OpenKey
{
    std::shared_ptr<Key> key;
    REGSAM access = 0;
    bool view32 = false;
};

struct Store : PartBase
{
    bool seeded = false;
    std::shared_ptr<Key> machine, users;
    std::map<ULONG_PTR, OpenKey> handles;
    ULONG_PTR nextHandle = 0x2000;
};

void Seed(Store& s);

Store& store()
{
    Store& s = Part<Store>();
    if (!s.seeded)
    {
        s.seeded = true; // seeding walks keys, which comes back here
        Seed(s);
    }
    return s;
}

std::vector<WString> SplitPath(WStringView path)
{
    std::vector<WString> parts;
    size_t start = 0;
    while (start <= path.size())
    {
        size_t end = path.find(u'\\', start);
        if (end == WStringView::npos)
            end = path.size();
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::shared_ptr<Key> Child(const std::shared_ptr<Key>& parent, WStringView name, bool create)
{
    WString folded = Fold(name);
    auto it = parent->children.find(folded);
    if (it != parent->children.end())
        return it->second;
    if (!create)
        return nullptr;
    auto key = std::make_shared<Key>();
    key->name = WString(name);
    key->parent = parent.get();
    parent->children.emplace(std::move(folded), key);
    return key;
}

// Predefined keys are sign-extended 32-bit values, as in the SDK: 0 HKCR, 1 HKCU, 2 HKLM, 3 HKU.
int PredefinedIndex(HKEY key)
{
    auto v = reinterpret_cast<ULONG_PTR>(key);
    for (LONG i = 0; i < 6; ++i)
        if (i != 4 && v == static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000000u + i))))
            return i;
    return -1;
}

bool IsPredefined(HKEY key)
{
    return PredefinedIndex(key) >= 0;
}

bool WantsWrite(REGSAM sam)
{
    return (sam & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | DELETE)) != 0;
}

// Where a walk starts: the key, whether it sits under HKLM (for rights and redirection), its view.
struct Origin
{
    std::shared_ptr<Key> key;
    REGSAM access = 0;
    bool view32 = false;
    bool machineRoot = false; // the key is HKLM itself
    bool underMachine = false;
    LSTATUS status = ERROR_SUCCESS;
};

bool View32For(REGSAM sam)
{
    if (!System64())
        return false;
    if (sam & KEY_WOW64_64KEY)
        return false;
    if (sam & KEY_WOW64_32KEY)
        return true;
    return CurrentProcess().is32;
}

bool UnderMachine(const Key* key)
{
    while (key->parent)
        key = key->parent;
    return key == store().machine.get();
}

Origin Resolve(HKEY base, REGSAM sam)
{
    Origin o;
    Store& s = store();
    if (IsPredefined(base))
    {
        o.access = KEY_ALL_ACCESS;
        o.view32 = View32For(sam);
        switch (PredefinedIndex(base))
        {
        case 0: // HKCR
            o.key = Child(Child(s.machine, u"SOFTWARE", true), u"Classes", true);
            o.underMachine = true;
            break;
        case 1:
            o.key = Child(s.users, kCurrentUserSid, true);
            break;
        case 2:
            o.key = s.machine;
            o.machineRoot = true;
            o.underMachine = true;
            break;
        case 5: // HKCC: the current hardware profile
            o.key = Child(Child(Child(Child(s.machine, u"SYSTEM", true), u"CurrentControlSet", true),
                                u"Hardware Profiles", true),
                          u"Current", true);
            o.underMachine = true;
            break;
        default:
            o.key = s.users;
            break;
        }
        return o;
    }
    auto it = s.handles.find(reinterpret_cast<ULONG_PTR>(base));
    if (it == s.handles.end())
    {
        o.status = ERROR_INVALID_HANDLE;
        return o;
    }
    if (it->second.key->deleted)
    {
        o.status = ERROR_KEY_DELETED;
        return o;
    }
    o.key = it->second.key;
    o.access = it->second.access;
    o.view32 = it->second.view32;
    o.machineRoot = o.key == s.machine;
    o.underMachine = UnderMachine(o.key.get());
    return o;
}

// Walks `path` from `o`; returns null when a key is missing and `create` is false.
std::shared_ptr<Key> Walk(const Origin& o, WStringView path, bool create, bool* created)
{
    std::shared_ptr<Key> key = o.key;
    bool first = true;
    for (const WString& part : SplitPath(path))
    {
        bool willCreate = create && !Child(key, part, false);
        key = Child(key, part, create);
        if (!key)
            return nullptr;
        if (willCreate && created)
            *created = true;
        if (first && o.machineRoot && o.view32 && EqualNoCase(part, u"SOFTWARE"))
        {
            key = Child(key, u"WOW6432Node", create);
            if (!key)
                return nullptr;
        }
        first = false;
    }
    return key;
}

HKEY AddKeyHandle(std::shared_ptr<Key> key, REGSAM sam, bool view32)
{
    Store& s = store();
    ULONG_PTR v = s.nextHandle;
    s.nextHandle += 4;
    s.handles[v] = OpenKey{std::move(key), sam & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY), view32};
    return reinterpret_cast<HKEY>(v);
}

bool IsString(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

WString WideName(LPCSTR name)
{
    return name ? Widen(name) : WString();
}

LSTATUS OpenImpl(HKEY base, WStringView subKey, REGSAM sam, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(StateLock());
    Origin o = Resolve(base, sam);
    if (o.status != ERROR_SUCCESS)
        return o.status;
    if (o.underMachine && WantsWrite(sam) && !Administrator())
        return ERROR_ACCESS_DENIED;
    auto key = Walk(o, subKey, false, nullptr);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    *result = AddKeyHandle(key, sam, o.view32);
    return ERROR_SUCCESS;
}

LSTATUS CreateImpl(HKEY base, WStringView subKey, REGSAM sam, PHKEY result, LPDWORD disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(StateLock());
    Origin o = Resolve(base, sam);
    if (o.status != ERROR_SUCCESS)
        return o.status;
    bool exists = Walk(o, subKey, false, nullptr) != nullptr;
    if (!exists && !(o.access & KEY_CREATE_SUB_KEY))
        return ERROR_ACCESS_DENIED;
    if (o.underMachine && (WantsWrite(sam) || !exists) && !Administrator())
        return ERROR_ACCESS_DENIED;
    bool created = false;
    auto key = Walk(o, subKey, true, &created);
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = AddKeyHandle(key, sam, o.view32);
    return ERROR_SUCCESS;
}

OpenKey* FindOpen(HKEY key, LSTATUS& status)
{
    Store& s = store();
    if (IsPredefined(key))
    {
        // Predefined keys act as handles with every right on their root.
        static thread_local OpenKey scratch;
        Origin o = Resolve(key, 0);
        scratch = OpenKey{o.key, KEY_ALL_ACCESS, o.view32};
        if (o.underMachine && !Administrator())
            scratch.access = KEY_READ;
        status = ERROR_SUCCESS;
        return &scratch;
    }
    auto it = s.handles.find(reinterpret_cast<ULONG_PTR>(key));
    if (it == s.handles.end())
    {
        status = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (it->second.key->deleted)
    {
        status = ERROR_KEY_DELETED;
        return nullptr;
    }
    status = ERROR_SUCCESS;
    return &it->second;
}

LSTATUS SetImpl(HKEY key, WStringView name, DWORD type, std::vector<BYTE> data)
{
    std::lock_guard g(StateLock());
    LSTATUS status;
    OpenKey* open = FindOpen(key, status);
    if (!open)
        return status;
    if (!(open->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (RegistryValue* v = open->key->FindValue(name))
        *v = RegistryValue{type, std::move(data)};
    else
        open->key->values.emplace_back(WString(name), RegistryValue{type, std::move(data)});
    return ERROR_SUCCESS;
}

// Copies a value out the way RegQueryValueEx does: size query, exact fit, ERROR_MORE_DATA.
LSTATUS CopyOut(const std::vector<BYTE>& bytes, DWORD type, LPDWORD typeOut, LPBYTE data, LPDWORD cbData)
{
    if (typeOut)
        *typeOut = type;
    if (!cbData)
        return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD need = static_cast<DWORD>(bytes.size());
    if (data && *cbData < need)
    {
        *cbData = need;
        return ERROR_MORE_DATA;
    }
    if (data && need)
        std::memcpy(data, bytes.data(), need);
    *cbData = need;
    return ERROR_SUCCESS;
}

LSTATUS QueryImpl(HKEY key, WStringView name, LPDWORD type, LPBYTE data, LPDWORD cbData, bool ansi)
{
    std::lock_guard g(StateLock());
    LSTATUS status;
    OpenKey* open = FindOpen(key, status);
    if (!open)
        return status;
    if (!(open->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    RegistryValue* v = open->key->FindValue(name);
    if (!v)
        return ERROR_FILE_NOT_FOUND;
    if (!ansi || !IsString(v->type))
        return CopyOut(v->data, v->type, type, data, cbData);
    WString wide(v->data.size() / 2, u'\0');
    std::memcpy(wide.data(), v->data.data(), wide.size() * 2);
    std::string narrow = Narrow(wide);
    return CopyOut(std::vector<BYTE>(narrow.begin(), narrow.end()), v->type, type, data, cbData);
}

LSTATUS DeleteValueImpl(HKEY key, WStringView name)
{
    std::lock_guard g(StateLock());
    LSTATUS status;
    OpenKey* open = FindOpen(key, status);
    if (!open)
        return status;
    if (!(open->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    auto& values = open->key->values;
    for (auto it = values.begin(); it != values.end(); ++it)
        if (EqualNoCase(it->first, name))
        {
            values.erase(it);
            return ERROR_SUCCESS;
        }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS DeleteKeyImpl(HKEY base, WStringView subKey, REGSAM sam)
{
    std::lock_guard g(StateLock());
    Origin o = Resolve(base, sam);
    if (o.status != ERROR_SUCCESS)
        return o.status;
    if (SplitPath(subKey).empty())
        return ERROR_INVALID_PARAMETER;
    auto key = Walk(o, subKey, false, nullptr);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    if (!key->children.empty() || !key->parent)
        return ERROR_ACCESS_DENIED;
    if (o.underMachine && !Administrator())
        return ERROR_ACCESS_DENIED;
    key->deleted = true;
    key->parent->children.erase(Fold(key->name));
    return ERROR_SUCCESS;
}

// The keys a fresh system has.
void Seed(Store& s)
{
    s.machine = std::make_shared<Key>();
    s.machine->name = u"HKEY_LOCAL_MACHINE";
    s.users = std::make_shared<Key>();
    s.users->name = u"HKEY_USERS";
    for (const char16_t* k : {u"SOFTWARE\\Classes", u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                              u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion", u"SYSTEM"})
    {
        Origin o;
        o.key = s.machine;
        Walk(o, k, true, nullptr);
    }
    Child(s.users, kCurrentUserSid, true);
    Child(s.users, u".DEFAULT", true);
}

} // namespace

// Hives: a tree of keys made from a file's pieces, hung under HKEY_USERS or HKLM, and taken off again.
LSTATUS MountHive(HKEY base, WStringView name, const std::vector<HiveValue>& pieces)
{
    std::lock_guard g(StateLock());
    Store& s = store();
    int index = PredefinedIndex(base);
    if ((index != 2 && index != 3) || SplitPath(name).size() != 1)
        return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Key> parent = index == 2 ? s.machine : s.users;
    if (Child(parent, name, false))
        return ERROR_ALREADY_EXISTS;
    std::shared_ptr<Key> top = Child(parent, name, true);
    for (const HiveValue& piece : pieces)
    {
        Origin o;
        o.key = top;
        std::shared_ptr<Key> key = Walk(o, piece.key, true, nullptr);
        if (piece.type == REG_NONE && piece.name.empty())
            continue;
        if (RegistryValue* v = key->FindValue(piece.name))
            *v = RegistryValue{piece.type, piece.data};
        else
            key->values.emplace_back(piece.name, RegistryValue{piece.type, piece.data});
    }
    return ERROR_SUCCESS;
}

namespace
{
void Collect(const Key& key, const WString& path, std::vector<HiveValue>& out)
{
    if (!path.empty())
        out.push_back(HiveValue{path, {}, REG_NONE, {}});
    for (const auto& [n, v] : key.values)
        out.push_back(HiveValue{path, n, v.type, v.data});
    for (const auto& [folded, child] : key.children)
        Collect(*child, path.empty() ? child->name : path + u"\\" + child->name, out);
}

bool Within(const Key* key, const Key* top)
{
    for (; key; key = key->parent)
        if (key == top)
            return true;
    return false;
}

void MarkDeleted(Key& key)
{
    key.deleted = true;
    for (auto& [folded, child] : key.children)
        MarkDeleted(*child);
}
} // namespace

LSTATUS UnmountHive(HKEY base, WStringView name, std::vector<HiveValue>* pieces)
{
    std::lock_guard g(StateLock());
    Store& s = store();
    int index = PredefinedIndex(base);
    if ((index != 2 && index != 3) || SplitPath(name).size() != 1)
        return ERROR_INVALID_PARAMETER;
    std::shared_ptr<Key> parent = index == 2 ? s.machine : s.users;
    std::shared_ptr<Key> top = Child(parent, name, false);
    if (!top)
        return ERROR_FILE_NOT_FOUND;
    // A hive cannot go while a key of it is open.
    for (const auto& [handle, open] : s.handles)
        if (!open.key->deleted && Within(open.key.get(), top.get()))
            return ERROR_ACCESS_DENIED;
    if (pieces)
        Collect(*top, {}, *pieces);
    MarkDeleted(*top);
    parent->children.erase(Fold(top->name));
    return ERROR_SUCCESS;
}

} // namespace sim::detail

namespace sim
{
namespace
{
HKEY OpenForTest(HKEY root, WStringView key, RegistryView view, bool create)
{
    REGSAM sam = KEY_ALL_ACCESS | (view == RegistryView::Wow32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    HKEY h = nullptr;
    detail::Origin o = detail::Resolve(root, sam);
    auto k = detail::Walk(o, key, create, nullptr);
    if (k)
        h = detail::AddKeyHandle(k, KEY_ALL_ACCESS, o.view32);
    return h;
}
} // namespace

void detail::EnsureRegistryKey(HKEY root, WStringView key)
{
    std::lock_guard g(detail::StateLock());
    if (HKEY h = OpenForTest(root, key, RegistryView::Native, true))
        RegCloseKey(h);
}

std::vector<WString> detail::RegistrySubkeys(HKEY root, WStringView key)
{
    std::lock_guard g(detail::StateLock());
    std::vector<WString> names;
    if (auto k = detail::Walk(detail::Resolve(root, KEY_READ | KEY_WOW64_64KEY), key, false, nullptr))
        for (const auto& [folded, child] : k->children)
            names.push_back(child->name);
    return names;
}

void detail::DeleteRegistryTree(HKEY root, WStringView key)
{
    std::lock_guard g(detail::StateLock());
    if (detail::SplitPath(key).empty())
        return;
    auto k = detail::Walk(detail::Resolve(root, KEY_ALL_ACCESS | KEY_WOW64_64KEY), key, false, nullptr);
    if (!k || !k->parent)
        return;
    detail::MarkDeleted(*k);
    k->parent->children.erase(detail::Fold(k->name));
}

void detail::RenameRegistryKey(HKEY root, WStringView from, WStringView toName)
{
    std::lock_guard g(detail::StateLock());
    auto k = detail::Walk(detail::Resolve(root, KEY_ALL_ACCESS | KEY_WOW64_64KEY), from, false, nullptr);
    if (!k || !k->parent || toName.empty())
        return;
    if (detail::Fold(toName) != detail::Fold(k->name) && k->parent->children.count(detail::Fold(toName)))
        return;
    auto node = k->parent->children.extract(detail::Fold(k->name));
    node.key() = detail::Fold(toName);
    k->name = WString(toName);
    k->parent->children.insert(std::move(node));
}

void Registry::SetValue(HKEY root, WStringView key, WStringView name, DWORD type, std::span<const BYTE> data,
                        RegistryView view)
{
    std::lock_guard g(detail::StateLock());
    HKEY h = OpenForTest(root, key, view, true);
    detail::SetImpl(h, name, type, std::vector<BYTE>(data.begin(), data.end()));
    RegCloseKey(h);
}

std::optional<RegistryValue> Registry::Value(HKEY root, WStringView key, WStringView name,
                                             RegistryView view) const
{
    std::lock_guard g(detail::StateLock());
    HKEY h = OpenForTest(root, key, view, false);
    if (!h)
        return std::nullopt;
    std::optional<RegistryValue> result;
    LSTATUS status;
    if (auto* open = detail::FindOpen(h, status))
        if (RegistryValue* v = open->key->FindValue(name))
            result = *v;
    RegCloseKey(h);
    return result;
}

bool Registry::KeyExists(HKEY root, WStringView key, RegistryView view) const
{
    std::lock_guard g(detail::StateLock());
    HKEY h = OpenForTest(root, key, view, false);
    if (h)
        RegCloseKey(h);
    return h != nullptr;
}

Registry& registry()
{
    static Registry r;
    return r;
}
} // namespace sim

using namespace sim::detail;

#define REG_FAULT(api) SIM_FAULT_STATUS(api, LSTATUS)

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM sam, PHKEY result)
{
    REG_FAULT("RegOpenKeyExA");
    return OpenImpl(key, WideName(subKey), sam, result);
}

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM sam, PHKEY result)
{
    REG_FAULT("RegOpenKeyExW");
    return OpenImpl(key, subKey ? WStringView(subKey) : WStringView(), sam, result);
}

LSTATUS WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result)
{
    REG_FAULT("RegCreateKeyA");
    return CreateImpl(key, WideName(subKey), KEY_ALL_ACCESS, result, nullptr);
}

LSTATUS WINAPI RegCreateKeyW(HKEY key, LPCWSTR subKey, PHKEY result)
{
    REG_FAULT("RegCreateKeyW");
    return CreateImpl(key, subKey ? WStringView(subKey) : WStringView(), KEY_ALL_ACCESS, result, nullptr);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM sam,
                               LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition)
{
    REG_FAULT("RegCreateKeyExA");
    return CreateImpl(key, WideName(subKey), sam, result, disposition);
}

LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM sam,
                               LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition)
{
    REG_FAULT("RegCreateKeyExW");
    return CreateImpl(key, subKey ? WStringView(subKey) : WStringView(), sam, result, disposition);
}

LSTATUS WINAPI RegCloseKey(HKEY key)
{
    if (IsPredefined(key))
        return ERROR_SUCCESS;
    std::lock_guard g(StateLock());
    return store().handles.erase(reinterpret_cast<ULONG_PTR>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD cbData)
{
    REG_FAULT("RegQueryValueExA");
    return QueryImpl(key, WideName(name), type, data, cbData, true);
}

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD cbData)
{
    REG_FAULT("RegQueryValueExW");
    return QueryImpl(key, name ? WStringView(name) : WStringView(), type, data, cbData, false);
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD cbData)
{
    REG_FAULT("RegSetValueExA");
    if (!data && cbData)
        return ERROR_INVALID_PARAMETER;
    std::vector<BYTE> bytes(data, data + cbData);
    if (IsString(type))
    {
        WString wide = Widen(std::string_view(reinterpret_cast<const char*>(data), cbData));
        bytes.assign(reinterpret_cast<const BYTE*>(wide.data()),
                     reinterpret_cast<const BYTE*>(wide.data() + wide.size()));
    }
    return SetImpl(key, WideName(name), type, std::move(bytes));
}

LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD cbData)
{
    REG_FAULT("RegSetValueExW");
    if (!data && cbData)
        return ERROR_INVALID_PARAMETER;
    return SetImpl(key, name ? WStringView(name) : WStringView(), type,
                   std::vector<BYTE>(data, data + cbData));
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR name)
{
    REG_FAULT("RegDeleteValueA");
    return DeleteValueImpl(key, WideName(name));
}

LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR name)
{
    REG_FAULT("RegDeleteValueW");
    return DeleteValueImpl(key, name ? WStringView(name) : WStringView());
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    REG_FAULT("RegDeleteKeyA");
    return DeleteKeyImpl(key, WideName(subKey), 0);
}

LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey)
{
    REG_FAULT("RegDeleteKeyW");
    return DeleteKeyImpl(key, subKey ? WStringView(subKey) : WStringView(), 0);
}

LSTATUS WINAPI RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM sam, DWORD)
{
    REG_FAULT("RegDeleteKeyExW");
    return DeleteKeyImpl(key, subKey ? WStringView(subKey) : WStringView(), sam);
}

LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD cchName, LPDWORD, LPWSTR, LPDWORD,
                             void*)
{
    REG_FAULT("RegEnumKeyExW");
    if (!name || !cchName)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(StateLock());
    LSTATUS status;
    OpenKey* open = FindOpen(key, status);
    if (!open)
        return status;
    if (!(open->access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (index >= open->key->children.size())
        return ERROR_NO_MORE_ITEMS;
    auto it = open->key->children.begin();
    std::advance(it, index);
    const WString& n = it->second->name;
    if (*cchName <= n.size())
        return ERROR_MORE_DATA;
    std::copy(n.begin(), n.end(), name);
    name[n.size()] = 0;
    *cchName = static_cast<DWORD>(n.size());
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD cchName, LPDWORD, LPSTR, LPDWORD,
                             void*)
{
    REG_FAULT("RegEnumKeyExA");
    if (!name || !cchName)
        return ERROR_INVALID_PARAMETER;
    WCHAR wide[256];
    DWORD wideCount = 256;
    LSTATUS status = RegEnumKeyExW(key, index, wide, &wideCount, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    std::string narrow = Narrow(WStringView(wide, wideCount));
    if (*cchName <= narrow.size())
        return ERROR_MORE_DATA;
    std::copy(narrow.begin(), narrow.end(), name);
    name[narrow.size()] = 0;
    *cchName = static_cast<DWORD>(narrow.size());
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD cchName, LPDWORD, LPDWORD type,
                             LPBYTE data, LPDWORD cbData)
{
    REG_FAULT("RegEnumValueW");
    if (!name || !cchName)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(StateLock());
    LSTATUS status;
    OpenKey* open = FindOpen(key, status);
    if (!open)
        return status;
    if (!(open->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (index >= open->key->values.size())
        return ERROR_NO_MORE_ITEMS;
    const auto& [n, v] = open->key->values[index];
    if (*cchName <= n.size())
        return ERROR_MORE_DATA;
    std::copy(n.begin(), n.end(), name);
    name[n.size()] = 0;
    *cchName = static_cast<DWORD>(n.size());
    return CopyOut(v.data, v.type, type, data, cbData);
}
