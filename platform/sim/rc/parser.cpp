// The statements the package's .rc files use: dialogs, menus, string tables, version records,
// icons and manifests.
#include "rc/script.h"

#include <cstring>
#include <stdexcept>

namespace sim::detail::script
{

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

namespace
{
class Parser
{
public:
    explicit Parser(std::vector<Token> tokens) : t_(std::move(tokens))
    {
        Token end;
        end.where = t_.empty() ? std::string("script") : t_.back().where + " (end of script)";
        t_.push_back(end);
    }

    ResourceFile Run()
    {
        while (Peek().kind != Tok::End)
            Statement();
        return std::move(file_);
    }

private:
    const Token& Peek(size_t ahead = 0) const { return t_[std::min(i_ + ahead, t_.size() - 1)]; }
    Token Take()
    {
        Token t = Peek();
        if (i_ < t_.size() - 1)
            ++i_;
        return t;
    }
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw std::runtime_error(
            Peek().where + ": " + what +
            (Peek().kind == Tok::End ? std::string(" at the end") : " (at '" + Peek().text + "')"));
    }
    bool IsWord(const char* w, size_t ahead = 0) const
    {
        return Peek(ahead).kind == Tok::Ident && Upper(Peek(ahead).text) == w;
    }
    bool IsPunct(const char* p) const { return Peek().kind == Tok::Punct && Peek().text == p; }
    void SkipComma()
    {
        if (IsPunct(","))
            Take();
    }
    bool IsBegin() const { return IsWord("BEGIN") || IsPunct("{"); }
    bool IsEnd() const { return IsWord("END") || IsPunct("}"); }
    void Begin()
    {
        if (!IsBegin())
            Fail("BEGIN expected");
        Take();
    }

    long long Primary()
    {
        Token t = Take();
        if (t.kind == Tok::Number)
            return t.value;
        if (t.kind == Tok::Punct && t.text == "(")
        {
            long long v = Expression();
            if (!IsPunct(")"))
                Fail(") expected");
            Take();
            return v;
        }
        if (t.kind == Tok::Punct && t.text == "-")
            return -Primary();
        if (t.kind == Tok::Punct && t.text == "~")
            return ~Primary();
        if (t.kind == Tok::Punct && t.text == "+")
            return Primary();
        if (t.kind == Tok::Ident)
        {
            if (Upper(t.text) == "NOT")
                return ~Primary();
            auto it = kConstants.find(t.text);
            if (it != kConstants.end())
                return it->second;
        }
        if (t.kind == Tok::End)
            throw std::runtime_error(t.where + ": a value is missing at the end");
        throw std::runtime_error(t.where + ": unknown value '" + t.text + "'");
    }

    long long Expression()
    {
        long long v = Primary();
        while (Peek().kind == Tok::Punct && (Peek().text == "|" || Peek().text == "+" || Peek().text == "-" ||
                                             Peek().text == "&" || Peek().text == "*"))
        {
            std::string op = Take().text;
            long long r = Primary();
            v = op == "|" ? (v | r) : op == "+" ? v + r : op == "-" ? v - r : op == "&" ? (v & r) : v * r;
        }
        return v;
    }

    // A style list: `A | B | NOT C` added to (or, with NOT, taken from) the statement's default.
    DWORD Style(DWORD base)
    {
        DWORD v = base;
        for (;;)
        {
            if (IsWord("NOT"))
            {
                Take();
                v &= ~static_cast<DWORD>(Primary());
            }
            else
                v |= static_cast<DWORD>(Primary());
            if (!IsPunct("|"))
                return v;
            Take();
        }
    }

    bool AtValue() const
    {
        const Token& t = Peek();
        return t.kind == Tok::Number ||
               (t.kind == Tok::Punct && (t.text == "(" || t.text == "-" || t.text == "~")) ||
               (t.kind == Tok::Ident && (kConstants.count(t.text) || Upper(t.text) == "NOT"));
    }

    WString String()
    {
        if (Peek().kind != Tok::String)
            Fail("text expected");
        std::string s = Take().text;
        while (Peek().kind == Tok::String)
            s += Take().text;
        return FromUtf8(s);
    }

    WString Name()
    {
        Token t = Take();
        if (t.kind == Tok::Number)
            return u"#" + Widen(std::to_string(t.value));
        if (t.kind == Tok::Ident)
        {
            auto it = kConstants.find(t.text);
            if (it != kConstants.end())
                return u"#" + Widen(std::to_string(it->second));
            return FromUtf8(Upper(t.text));
        }
        if (t.kind == Tok::String)
            return Fold(FromUtf8(t.text));
        throw std::runtime_error(t.where + ": resource name expected");
    }

    void SkipBlock()
    {
        Begin();
        int depth = 1;
        while (depth > 0)
        {
            if (Peek().kind == Tok::End)
                Fail("END expected");
            if (IsBegin())
                ++depth;
            else if (IsEnd())
                --depth;
            Take();
        }
    }

    void Statement()
    {
        if (IsWord("LANGUAGE"))
        {
            Take();
            long long primary = Expression();
            SkipComma();
            long long sub = Expression();
            language_ = static_cast<LANGID>(MAKELANGID(primary, sub));
            return;
        }
        if (IsWord("STRINGTABLE"))
        {
            Take();
            LANGID lang = Options();
            Begin();
            while (!IsEnd())
            {
                UINT id = static_cast<UINT>(Expression());
                SkipComma();
                WString text = String();
                auto& entries = file_.strings[id];
                for (auto& [l, v] : entries)
                    if (l == lang)
                        throw std::runtime_error(Peek().where + ": string " + std::to_string(id) + " twice");
                entries.emplace_back(lang, text);
            }
            Take();
            return;
        }
        WString name = Name();
        if (Peek().kind != Tok::Ident && Peek().kind != Tok::Number && Peek().kind != Tok::String)
            Fail("resource type expected");
        std::string type = Peek().kind == Tok::Ident ? Upper(Peek().text) : std::string();
        if (type == "DIALOG" || type == "DIALOGEX")
        {
            Take();
            Dialog(name, type == "DIALOGEX");
        }
        else if (type == "MENU" || type == "MENUEX")
        {
            Take();
            LANGID lang = Options();
            Begin();
            auto items = MenuItems(type == "MENUEX");
            file_.menus[name].emplace_back(lang, std::move(items));
        }
        else if (type == "VERSIONINFO")
        {
            Take();
            Version();
        }
        else if (type == "ICON")
        {
            Take();
            Options();
            String();
            file_.icons[name] = true;
        }
        else if (type == "BITMAP")
        {
            Take();
            Options();
            WString path = String();
            file_.bitmaps[name] = std::filesystem::path(std::u16string(path.begin(), path.end()));
        }
        else
        {
            Take(); // BITMAP, CURSOR, RT_MANIFEST, RCDATA, ACCELERATORS, DESIGNINFO, TEXTINCLUDE, custom
            Options();
            if (Peek().kind == Tok::String)
                String();
            else
                SkipBlock();
        }
    }

    // Optional statements before a resource's body; gives its language.
    LANGID Options()
    {
        LANGID lang = language_;
        for (;;)
        {
            if (IsWord("LANGUAGE"))
            {
                Take();
                long long p = Expression();
                SkipComma();
                long long s = Expression();
                lang = static_cast<LANGID>(MAKELANGID(p, s));
            }
            else if (IsWord("CHARACTERISTICS") || IsWord("VERSION"))
            {
                Take();
                Expression();
            }
            else if (IsWord("DISCARDABLE") || IsWord("MOVEABLE") || IsWord("PURE") || IsWord("PRELOAD") ||
                     IsWord("LOADONCALL") || IsWord("FIXED") || IsWord("IMPURE") || IsWord("SHARED") ||
                     IsWord("NONSHARED"))
                Take();
            else
                return lang;
        }
    }

    void Dialog(const WString& name, bool ex)
    {
        Options();
        DialogTemplate d;
        d.x = static_cast<int>(Expression());
        SkipComma();
        d.y = static_cast<int>(Expression());
        SkipComma();
        d.cx = static_cast<int>(Expression());
        SkipComma();
        d.cy = static_cast<int>(Expression());
        if (ex && IsPunct(","))
        {
            Take();
            Expression(); // help id
        }
        d.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
        bool styled = false;
        LANGID lang = language_;
        while (!IsBegin())
        {
            if (IsWord("STYLE"))
            {
                Take();
                d.style = Style(0);
                styled = true;
            }
            else if (IsWord("EXSTYLE"))
            {
                Take();
                d.exStyle = Style(0);
            }
            else if (IsWord("CAPTION"))
            {
                Take();
                d.caption = String();
                if (!styled)
                    d.style |= WS_CAPTION;
            }
            else if (IsWord("MENU"))
            {
                Take();
                d.menu = Name();
            }
            else if (IsWord("CLASS"))
            {
                Take();
                d.className = String();
            }
            else if (IsWord("FONT"))
            {
                Take();
                d.fontPoints = static_cast<int>(Expression());
                SkipComma();
                d.fontFace = String();
                long long extra[3] = {0, 0, 1};
                for (int i = 0; IsPunct(","); ++i)
                {
                    Take();
                    long long v = Expression();
                    if (i < 3)
                        extra[i] = v;
                }
                d.fontWeight = static_cast<int>(extra[0]);
                d.fontItalic = extra[1] != 0;
                d.fontCharset = static_cast<int>(extra[2]);
                d.style |= DS_SETFONT;
            }
            else if (IsWord("LANGUAGE"))
            {
                Take();
                long long p = Expression();
                SkipComma();
                lang = static_cast<LANGID>(MAKELANGID(p, Expression()));
            }
            else if (IsWord("CHARACTERISTICS") || IsWord("VERSION"))
            {
                Take();
                Expression();
            }
            else
                Fail("unknown dialog option");
        }
        Take();
        while (!IsEnd())
            d.controls.push_back(Control(ex));
        Take();
        file_.dialogs[name].emplace_back(lang, std::move(d));
    }

    DialogControl Control(bool ex)
    {
        struct Kind
        {
            const char* word;
            const char16_t* cls;
            DWORD style;
            bool hasText;
        };
        static const Kind kKinds[] = {
            {"LTEXT", u"Static", SS_LEFT | WS_GROUP, true},
            {"RTEXT", u"Static", SS_RIGHT | WS_GROUP, true},
            {"CTEXT", u"Static", SS_CENTER | WS_GROUP, true},
            {"PUSHBUTTON", u"Button", BS_PUSHBUTTON | WS_TABSTOP, true},
            {"DEFPUSHBUTTON", u"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, true},
            {"CHECKBOX", u"Button", BS_CHECKBOX | WS_TABSTOP, true},
            {"AUTOCHECKBOX", u"Button", BS_AUTOCHECKBOX | WS_TABSTOP, true},
            {"RADIOBUTTON", u"Button", BS_RADIOBUTTON, true},
            {"AUTORADIOBUTTON", u"Button", BS_AUTORADIOBUTTON, true},
            {"STATE3", u"Button", BS_3STATE | WS_TABSTOP, true},
            {"AUTO3STATE", u"Button", BS_AUTO3STATE | WS_TABSTOP, true},
            {"GROUPBOX", u"Button", BS_GROUPBOX, true},
            {"EDITTEXT", u"Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, false},
            {"COMBOBOX", u"ComboBox", CBS_SIMPLE | WS_TABSTOP, false},
            {"LISTBOX", u"ListBox", LBS_NOTIFY | WS_BORDER, false},
            {"SCROLLBAR", u"ScrollBar", 0, false},
            {"ICON", u"Static", SS_ICON, true},
        };
        DialogControl c;
        auto text = [&] {
            if (Peek().kind == Tok::String)
                c.text = String();
            else
                c.text = Name(); // an icon's resource name or id
            SkipComma();
        };
        auto rect = [&] {
            c.x = static_cast<int>(Expression());
            SkipComma();
            c.y = static_cast<int>(Expression());
            SkipComma();
            c.cx = static_cast<int>(Expression());
            SkipComma();
            c.cy = static_cast<int>(Expression());
        };
        auto tail = [&] {
            if (IsPunct(","))
            {
                Take();
                c.style = Style(c.style);
            }
            if (IsPunct(","))
            {
                Take();
                c.exStyle = Style(0);
            }
            if (ex && IsPunct(","))
            {
                Take();
                Expression(); // help id
            }
        };
        if (IsWord("CONTROL"))
        {
            Take();
            text();
            c.id = static_cast<int>(Expression());
            SkipComma();
            if (Peek().kind == Tok::String)
                c.className = String();
            else
            {
                Token cls = Take();
                auto it = kClassNames.find(cls.text);
                std::string u = Upper(cls.text);
                if (it != kClassNames.end())
                    c.className = Widen(it->second);
                else if (u == "BUTTON" || u == "EDIT" || u == "STATIC" || u == "LISTBOX" || u == "COMBOBOX" ||
                         u == "SCROLLBAR")
                    c.className = Widen(cls.text);
                else
                    throw std::runtime_error(cls.where + ": unknown control class " + cls.text);
            }
            SkipComma();
            c.style = Style(WS_CHILD | WS_VISIBLE);
            SkipComma();
            rect();
            if (IsPunct(","))
            {
                Take();
                c.exStyle = Style(0);
            }
            if (ex && IsPunct(","))
            {
                Take();
                Expression();
            }
            return c;
        }
        for (const Kind& k : kKinds)
            if (IsWord(k.word))
            {
                Take();
                c.className = k.cls;
                c.style = WS_CHILD | WS_VISIBLE | k.style;
                if (k.hasText)
                    text();
                c.id = static_cast<int>(Expression());
                SkipComma();
                if (std::strcmp(k.word, "ICON") == 0)
                {
                    c.x = static_cast<int>(Expression());
                    SkipComma();
                    c.y = static_cast<int>(Expression());
                    if (IsPunct(",") && (Take(), AtValue()))
                    {
                        c.cx = static_cast<int>(Expression());
                        SkipComma();
                        c.cy = static_cast<int>(Expression());
                        tail();
                    }
                }
                else
                {
                    rect();
                    tail();
                }
                return c;
            }
        Fail("unknown control statement");
    }

    std::vector<MenuTemplateItem> MenuItems(bool ex)
    {
        std::vector<MenuTemplateItem> items;
        while (!IsEnd())
        {
            MenuTemplateItem item;
            if (IsWord("POPUP"))
            {
                Take();
                item.popup = true;
                item.text = String();
                if (ex)
                    ExFields(item);
                MenuOptions(item);
                Begin();
                item.children = MenuItems(ex);
            }
            else if (IsWord("MENUITEM"))
            {
                Take();
                if (IsWord("SEPARATOR"))
                {
                    Take();
                    item.type = MFT_SEPARATOR;
                }
                else
                {
                    item.text = String();
                    if (ex)
                        ExFields(item);
                    else
                    {
                        SkipComma();
                        item.id = static_cast<UINT>(Expression());
                        MenuOptions(item);
                    }
                    if (ex && item.text.empty() && item.id == 0)
                        item.type |= MFT_SEPARATOR;
                }
            }
            else
                Fail("MENUITEM or POPUP expected");
            items.push_back(std::move(item));
        }
        Take();
        return items;
    }

    void ExFields(MenuTemplateItem& item)
    {
        UINT* fields[] = {&item.id, &item.type, &item.state};
        for (UINT* f : fields)
        {
            if (!IsPunct(","))
                return;
            Take();
            if (AtValue())
                *f = static_cast<UINT>(Expression());
        }
        while (IsPunct(","))
        {
            Take();
            if (AtValue())
                Expression();
        }
    }

    void MenuOptions(MenuTemplateItem& item)
    {
        for (;;)
        {
            SkipComma();
            if (IsWord("CHECKED"))
                item.state |= MFS_CHECKED;
            else if (IsWord("GRAYED") || IsWord("INACTIVE"))
                item.state |= MFS_GRAYED;
            else if (IsWord("MENUBARBREAK"))
                item.type |= MF_MENUBARBREAK;
            else if (IsWord("MENUBREAK"))
                item.type |= MF_MENUBREAK;
            else if (IsWord("HELP"))
                item.type |= MF_RIGHTJUSTIFY;
            else
                return;
            Take();
        }
    }

    // Version records in the binary layout GetFileVersionInfo hands out.
    static void Align4(std::vector<BYTE>& b)
    {
        while (b.size() % 4)
            b.push_back(0);
    }
    static void PutWord(std::vector<BYTE>& b, size_t at, WORD v)
    {
        b[at] = static_cast<BYTE>(v);
        b[at + 1] = static_cast<BYTE>(v >> 8);
    }
    static void PutText(std::vector<BYTE>& b, WStringView s)
    {
        for (WCHAR c : s)
        {
            b.push_back(static_cast<BYTE>(c));
            b.push_back(static_cast<BYTE>(c >> 8));
        }
        b.push_back(0);
        b.push_back(0);
    }
    // Starts a node; returns its offset for Close().
    static size_t Open(std::vector<BYTE>& b, WStringView key, WORD valueLength, WORD type)
    {
        Align4(b);
        size_t at = b.size();
        b.resize(at + 6);
        PutWord(b, at + 2, valueLength);
        PutWord(b, at + 4, type);
        PutText(b, key);
        Align4(b);
        return at;
    }
    static void Close(std::vector<BYTE>& b, size_t at) { PutWord(b, at, static_cast<WORD>(b.size() - at)); }

    void Version()
    {
        DWORD fixed[13] = {VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION};
        auto quad = [&](int slot) {
            long long v[4] = {};
            for (int k = 0; k < 4; ++k)
            {
                v[k] = Expression();
                if (k < 3 && !IsPunct(","))
                    break;
                if (k < 3)
                    Take();
            }
            fixed[slot] = static_cast<DWORD>((v[0] << 16) | (v[1] & 0xFFFF));
            fixed[slot + 1] = static_cast<DWORD>((v[2] << 16) | (v[3] & 0xFFFF));
        };
        while (!IsBegin())
        {
            std::string w = Upper(Peek().text);
            Take();
            if (w == "FILEVERSION")
                quad(2);
            else if (w == "PRODUCTVERSION")
                quad(4);
            else if (w == "FILEFLAGSMASK")
                fixed[6] = static_cast<DWORD>(Expression());
            else if (w == "FILEFLAGS")
                fixed[7] = static_cast<DWORD>(Expression());
            else if (w == "FILEOS")
                fixed[8] = static_cast<DWORD>(Expression());
            else if (w == "FILETYPE")
                fixed[9] = static_cast<DWORD>(Expression());
            else if (w == "FILESUBTYPE")
                fixed[10] = static_cast<DWORD>(Expression());
            else
                throw std::runtime_error(Peek().where + ": unknown version statement " + w);
        }
        std::vector<BYTE> b;
        size_t root = Open(b, u"VS_VERSION_INFO", sizeof(fixed), 0);
        for (DWORD v : fixed)
            for (int k = 0; k < 4; ++k)
                b.push_back(static_cast<BYTE>(v >> (8 * k)));
        Begin();
        VersionBlocks(b);
        Close(b, root);
        file_.version = std::move(b);
    }

    void VersionBlocks(std::vector<BYTE>& b)
    {
        while (!IsEnd())
        {
            if (IsWord("BLOCK"))
            {
                Take();
                WString key = String();
                size_t at = Open(b, key, 0, 1);
                Begin();
                VersionBlocks(b);
                Close(b, at);
            }
            else if (IsWord("VALUE"))
            {
                Take();
                WString key = String();
                SkipComma();
                if (Peek().kind == Tok::String)
                {
                    WString text = String();
                    size_t at = Open(b, key, static_cast<WORD>(text.size() + 1), 1);
                    PutText(b, text);
                    Close(b, at);
                }
                else
                {
                    std::vector<WORD> words;
                    for (;;)
                    {
                        words.push_back(static_cast<WORD>(Expression()));
                        if (!IsPunct(","))
                            break;
                        Take();
                    }
                    size_t at = Open(b, key, static_cast<WORD>(words.size() * 2), 0);
                    for (WORD w : words)
                    {
                        b.push_back(static_cast<BYTE>(w));
                        b.push_back(static_cast<BYTE>(w >> 8));
                    }
                    Close(b, at);
                }
            }
            else
                Fail("BLOCK or VALUE expected");
        }
        Take();
    }

    std::vector<Token> t_;
    size_t i_ = 0;
    LANGID language_ = 0x409;
    ResourceFile file_;
};
} // namespace

ResourceFile Parse(std::vector<Token> tokens)
{
    return Parser(std::move(tokens)).Run();
}

} // namespace sim::detail::script
