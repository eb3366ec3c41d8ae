// Resource scripts: a small preprocessor (#include, #define, conditionals) and the statements the
// package's .rc files use (dialogs, menus, string tables, version records, icons, manifests).
#include "rc/resources.h"

#include "user32/desktop_internal.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sim::detail
{
namespace
{
// Names the SDK headers give an .rc file; ours carry the same values.
#define C(x)                                                                                                 \
    {                                                                                                        \
#x, static_cast < long long>(x)                                                                      \
    }
const std::map<std::string, long long, std::less<>> kConstants = {C(WS_OVERLAPPED),
                                                                  C(WS_POPUP),
                                                                  C(WS_CHILD),
                                                                  C(WS_MINIMIZE),
                                                                  C(WS_VISIBLE),
                                                                  C(WS_DISABLED),
                                                                  C(WS_CLIPSIBLINGS),
                                                                  C(WS_CLIPCHILDREN),
                                                                  C(WS_MAXIMIZE),
                                                                  C(WS_CAPTION),
                                                                  C(WS_BORDER),
                                                                  C(WS_DLGFRAME),
                                                                  C(WS_VSCROLL),
                                                                  C(WS_HSCROLL),
                                                                  C(WS_SYSMENU),
                                                                  C(WS_THICKFRAME),
                                                                  C(WS_GROUP),
                                                                  C(WS_TABSTOP),
                                                                  C(WS_MINIMIZEBOX),
                                                                  C(WS_MAXIMIZEBOX),
                                                                  C(WS_OVERLAPPEDWINDOW),
                                                                  C(WS_POPUPWINDOW),
                                                                  C(WS_EX_DLGMODALFRAME),
                                                                  C(WS_EX_NOPARENTNOTIFY),
                                                                  C(WS_EX_TOPMOST),
                                                                  C(WS_EX_ACCEPTFILES),
                                                                  C(WS_EX_TRANSPARENT),
                                                                  C(WS_EX_TOOLWINDOW),
                                                                  C(WS_EX_WINDOWEDGE),
                                                                  C(WS_EX_CLIENTEDGE),
                                                                  C(WS_EX_CONTEXTHELP),
                                                                  C(WS_EX_RIGHT),
                                                                  C(WS_EX_CONTROLPARENT),
                                                                  C(WS_EX_STATICEDGE),
                                                                  C(WS_EX_APPWINDOW),
                                                                  C(WS_EX_LAYERED),
                                                                  C(DS_ABSALIGN),
                                                                  C(DS_SYSMODAL),
                                                                  C(DS_3DLOOK),
                                                                  C(DS_FIXEDSYS),
                                                                  C(DS_NOFAILCREATE),
                                                                  C(DS_LOCALEDIT),
                                                                  C(DS_SETFONT),
                                                                  C(DS_MODALFRAME),
                                                                  C(DS_NOIDLEMSG),
                                                                  C(DS_SETFOREGROUND),
                                                                  C(DS_CONTROL),
                                                                  C(DS_CENTER),
                                                                  C(DS_CENTERMOUSE),
                                                                  C(DS_CONTEXTHELP),
                                                                  C(DS_SHELLFONT),
                                                                  C(ES_LEFT),
                                                                  C(ES_CENTER),
                                                                  C(ES_RIGHT),
                                                                  C(ES_MULTILINE),
                                                                  C(ES_UPPERCASE),
                                                                  C(ES_LOWERCASE),
                                                                  C(ES_PASSWORD),
                                                                  C(ES_AUTOVSCROLL),
                                                                  C(ES_AUTOHSCROLL),
                                                                  C(ES_NOHIDESEL),
                                                                  C(ES_READONLY),
                                                                  C(ES_WANTRETURN),
                                                                  C(ES_NUMBER),
                                                                  C(BS_PUSHBUTTON),
                                                                  C(BS_DEFPUSHBUTTON),
                                                                  C(BS_CHECKBOX),
                                                                  C(BS_AUTOCHECKBOX),
                                                                  C(BS_RADIOBUTTON),
                                                                  C(BS_3STATE),
                                                                  C(BS_AUTO3STATE),
                                                                  C(BS_GROUPBOX),
                                                                  C(BS_USERBUTTON),
                                                                  C(BS_AUTORADIOBUTTON),
                                                                  C(BS_OWNERDRAW),
                                                                  C(BS_COMMANDLINK),
                                                                  C(BS_DEFCOMMANDLINK),
                                                                  C(BS_LEFTTEXT),
                                                                  C(BS_ICON),
                                                                  C(BS_BITMAP),
                                                                  C(BS_CENTER),
                                                                  C(BS_MULTILINE),
                                                                  C(BS_NOTIFY),
                                                                  C(BS_FLAT),
                                                                  C(SS_LEFT),
                                                                  C(SS_CENTER),
                                                                  C(SS_RIGHT),
                                                                  C(SS_ICON),
                                                                  C(SS_BLACKRECT),
                                                                  C(SS_GRAYRECT),
                                                                  C(SS_WHITERECT),
                                                                  C(SS_BLACKFRAME),
                                                                  C(SS_SIMPLE),
                                                                  C(SS_LEFTNOWORDWRAP),
                                                                  C(SS_OWNERDRAW),
                                                                  C(SS_BITMAP),
                                                                  C(SS_ETCHEDHORZ),
                                                                  C(SS_ETCHEDFRAME),
                                                                  C(SS_NOPREFIX),
                                                                  C(SS_NOTIFY),
                                                                  C(SS_CENTERIMAGE),
                                                                  C(SS_REALSIZEIMAGE),
                                                                  C(SS_SUNKEN),
                                                                  C(CBS_SIMPLE),
                                                                  C(CBS_DROPDOWN),
                                                                  C(CBS_DROPDOWNLIST),
                                                                  C(CBS_OWNERDRAWFIXED),
                                                                  C(CBS_AUTOHSCROLL),
                                                                  C(CBS_SORT),
                                                                  C(CBS_HASSTRINGS),
                                                                  C(CBS_NOINTEGRALHEIGHT),
                                                                  C(LBS_NOTIFY),
                                                                  C(LBS_SORT),
                                                                  C(LBS_NOREDRAW),
                                                                  C(LBS_MULTIPLESEL),
                                                                  C(LBS_HASSTRINGS),
                                                                  C(LBS_USETABSTOPS),
                                                                  C(LBS_NOINTEGRALHEIGHT),
                                                                  C(LBS_EXTENDEDSEL),
                                                                  C(LBS_DISABLENOSCROLL),
                                                                  C(LBS_NOSEL),
                                                                  C(UDS_WRAP),
                                                                  C(UDS_SETBUDDYINT),
                                                                  C(UDS_ALIGNRIGHT),
                                                                  C(UDS_ALIGNLEFT),
                                                                  C(UDS_AUTOBUDDY),
                                                                  C(UDS_ARROWKEYS),
                                                                  C(UDS_HORZ),
                                                                  C(UDS_NOTHOUSANDS),
                                                                  C(UDS_HOTTRACK),
                                                                  C(TBS_AUTOTICKS),
                                                                  C(TBS_VERT),
                                                                  C(TBS_HORZ),
                                                                  C(TBS_BOTH),
                                                                  C(TBS_NOTICKS),
                                                                  C(PBS_SMOOTH),
                                                                  C(PBS_MARQUEE),
                                                                  C(LVS_ICON),
                                                                  C(LVS_REPORT),
                                                                  C(LVS_SMALLICON),
                                                                  C(LVS_LIST),
                                                                  C(LVS_SINGLESEL),
                                                                  C(LVS_SHOWSELALWAYS),
                                                                  C(LVS_SORTASCENDING),
                                                                  C(LVS_NOCOLUMNHEADER),
                                                                  C(LVS_NOSORTHEADER),
                                                                  C(IDOK),
                                                                  C(IDCANCEL),
                                                                  C(IDABORT),
                                                                  C(IDRETRY),
                                                                  C(IDIGNORE),
                                                                  C(IDYES),
                                                                  C(IDNO),
                                                                  C(IDCLOSE),
                                                                  C(IDHELP),
                                                                  C(IDC_STATIC),
                                                                  C(LANG_NEUTRAL),
                                                                  C(LANG_CHINESE),
                                                                  C(LANG_GERMAN),
                                                                  C(LANG_ENGLISH),
                                                                  C(LANG_SPANISH),
                                                                  C(LANG_FRENCH),
                                                                  C(LANG_ITALIAN),
                                                                  C(LANG_JAPANESE),
                                                                  C(LANG_KOREAN),
                                                                  C(LANG_DUTCH),
                                                                  C(LANG_PORTUGUESE),
                                                                  C(LANG_RUSSIAN),
                                                                  C(SUBLANG_NEUTRAL),
                                                                  C(SUBLANG_DEFAULT),
                                                                  C(SUBLANG_SYS_DEFAULT),
                                                                  C(SUBLANG_ENGLISH_US),
                                                                  C(SUBLANG_ENGLISH_UK),
                                                                  C(SUBLANG_JAPANESE_JAPAN),
                                                                  C(VS_VERSION_INFO),
                                                                  C(VS_FFI_FILEFLAGSMASK),
                                                                  C(VS_FF_DEBUG),
                                                                  C(VS_FF_PRERELEASE),
                                                                  C(VS_FF_PATCHED),
                                                                  C(VS_FF_PRIVATEBUILD),
                                                                  C(VS_FF_INFOINFERRED),
                                                                  C(VS_FF_SPECIALBUILD),
                                                                  C(VOS_UNKNOWN),
                                                                  C(VOS_NT),
                                                                  C(VOS__WINDOWS32),
                                                                  C(VOS_NT_WINDOWS32),
                                                                  C(VFT_UNKNOWN),
                                                                  C(VFT_APP),
                                                                  C(VFT_DLL),
                                                                  C(VFT_DRV),
                                                                  C(VFT2_UNKNOWN),
                                                                  C(VFT2_DRV_PRINTER),
                                                                  C(CREATEPROCESS_MANIFEST_RESOURCE_ID),
                                                                  {"RT_MANIFEST", 24},
                                                                  {"RT_RCDATA", 10},
                                                                  {"RT_HTML", 23},
                                                                  {"SBS_HORZ", 0},
                                                                  {"SBS_VERT", 1}};
#undef C

const std::map<std::string, std::string, std::less<>> kClassNames = {{"UPDOWN_CLASS", "msctls_updown32"},
                                                                     {"UPDOWN_CLASSW", "msctls_updown32"},
                                                                     {"TRACKBAR_CLASS", "msctls_trackbar32"},
                                                                     {"TRACKBAR_CLASSW", "msctls_trackbar32"},
                                                                     {"PROGRESS_CLASS", "msctls_progress32"},
                                                                     {"PROGRESS_CLASSW", "msctls_progress32"},
                                                                     {"WC_LISTVIEW", "SysListView32"},
                                                                     {"WC_LISTVIEWW", "SysListView32"},
                                                                     {"WC_TABCONTROL", "SysTabControl32"},
                                                                     {"WC_TABCONTROLW", "SysTabControl32"},
                                                                     {"WC_BUTTON", "Button"},
                                                                     {"WC_STATIC", "Static"},
                                                                     {"WC_EDIT", "Edit"},
                                                                     {"WC_COMBOBOX", "ComboBox"},
                                                                     {"WC_LISTBOX", "ListBox"},
                                                                     {"WC_LINK", "SysLink"}};

enum class Tok
{
    Ident,
    Number,
    String,
    Punct,
    End,
};

struct Token
{
    Tok kind = Tok::End;
    std::string text; // identifier, punctuation, or the string's UTF-8 contents
    long long value = 0;
    std::string where;
};

class Lexer
{
public:
    Lexer(std::string text, std::string file) : text_(std::move(text)), file_(std::move(file)) {}

    std::string Where() const { return file_ + ":" + std::to_string(line_); }
    bool AtLineStart() const { return lineStart_; }

    // Skips blanks and comments; true when a new line began on the way.
    void SkipSpace()
    {
        while (i_ < text_.size())
        {
            char c = text_[i_];
            if (c == '\n')
            {
                ++line_;
                lineStart_ = true;
                ++i_;
            }
            else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v')
                ++i_;
            else if (c == '\\' && i_ + 1 < text_.size() && (text_[i_ + 1] == '\n' || text_[i_ + 1] == '\r'))
                ++i_;
            else if (text_.compare(i_, 2, "//") == 0)
                while (i_ < text_.size() && text_[i_] != '\n')
                    ++i_;
            else if (text_.compare(i_, 2, "/*") == 0)
            {
                size_t e = text_.find("*/", i_ + 2);
                for (size_t k = i_; k < std::min(e, text_.size()); ++k)
                    if (text_[k] == '\n')
                        ++line_;
                i_ = e == std::string::npos ? text_.size() : e + 2;
            }
            else
                break;
        }
    }

    std::string RestOfLine()
    {
        std::string out;
        while (i_ < text_.size() && text_[i_] != '\n')
        {
            if (text_[i_] == '\\' && i_ + 1 < text_.size() && text_[i_ + 1] == '\n')
            {
                i_ += 2;
                ++line_;
                continue;
            }
            if (text_.compare(i_, 2, "//") == 0)
            {
                while (i_ < text_.size() && text_[i_] != '\n')
                    ++i_;
                break;
            }
            out += text_[i_++];
        }
        return out;
    }

    Token Next()
    {
        SkipSpace();
        lineStart_ = false;
        Token t;
        t.where = Where();
        if (i_ >= text_.size())
            return t;
        char c = text_[i_];
        if ((c == 'L' || c == 'u') && i_ + 1 < text_.size() && text_[i_ + 1] == '"')
            c = text_[++i_];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_')
        {
            size_t s = i_;
            while (i_ < text_.size() &&
                   (std::isalnum(static_cast<unsigned char>(text_[i_])) || text_[i_] == '_'))
                ++i_;
            t.kind = Tok::Ident;
            t.text = text_.substr(s, i_ - s);
            return t;
        }
        if (std::isdigit(static_cast<unsigned char>(c)))
        {
            size_t s = i_;
            while (i_ < text_.size() && std::isalnum(static_cast<unsigned char>(text_[i_])))
                ++i_;
            std::string digits = text_.substr(s, i_ - s);
            while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' || digits.back() == 'U' ||
                                       digits.back() == 'u'))
                digits.pop_back();
            try
            {
                size_t used = 0;
                t.value = static_cast<long long>(std::stoull(digits, &used, 0));
                if (used != digits.size())
                    throw std::invalid_argument(digits);
            }
            catch (const std::exception&)
            {
                throw std::runtime_error(Where() + ": bad number " + digits);
            }
            t.kind = Tok::Number;
            return t;
        }
        if (c == '"')
        {
            ++i_;
            t.kind = Tok::String;
            for (;;)
            {
                if (i_ >= text_.size() || text_[i_] == '\n')
                    throw std::runtime_error(Where() + ": unterminated string");
                char d = text_[i_++];
                if (d == '"')
                {
                    if (i_ < text_.size() && text_[i_] == '"')
                    {
                        t.text += '"';
                        ++i_;
                        continue;
                    }
                    break;
                }
                if (d == '\\' && i_ < text_.size())
                {
                    char e = text_[i_++];
                    switch (e)
                    {
                    case 'n':
                        t.text += '\n';
                        break;
                    case 't':
                        t.text += '\t';
                        break;
                    case 'r':
                        t.text += '\r';
                        break;
                    case 'a':
                        t.text += '\a';
                        break;
                    case '0':
                        t.text += '\0';
                        break;
                    case '\\':
                        t.text += '\\';
                        break;
                    case '"':
                        t.text += '"';
                        break;
                    default:
                        t.text += '\\';
                        t.text += e;
                        break;
                    }
                    continue;
                }
                t.text += d;
            }
            return t;
        }
        t.kind = Tok::Punct;
        t.text = std::string(1, c);
        ++i_;
        return t;
    }

private:
    std::string text_;
    std::string file_;
    size_t i_ = 0;
    int line_ = 1;
    bool lineStart_ = true;
};

std::string ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + p.string());
    std::stringstream ss;
    ss << in.rdbuf();
    std::string s = ss.str();
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0)
        s.erase(0, 3);
    return s;
}

// Preprocesses into a flat token list: directives are obeyed, macros expanded, and headers (.h)
// contribute only their #defines, as the resource compiler treats them.
class Preprocessor
{
public:
    std::vector<Token> Run(const std::filesystem::path& file)
    {
        // What the resource compilers define for every script.
        Token one;
        one.kind = Tok::Number;
        one.value = 1;
        defines_["RC_INVOKED"] = {one};
        defines_["_WIN32"] = {one};
        Include(file, false);
        return std::move(out_);
    }

private:
    void Include(const std::filesystem::path& file, bool headerOnly)
    {
        if (++depth_ > 20)
            throw std::runtime_error(file.string() + ": includes nest too deep");
        Lexer lex(ReadAll(file), file.string());
        std::vector<bool> active; // one entry per open conditional
        std::vector<bool> taken;
        auto on = [&] {
            for (bool a : active)
                if (!a)
                    return false;
            return true;
        };
        for (;;)
        {
            lex.SkipSpace();
            bool lineStart = lex.AtLineStart();
            Token t = lex.Next();
            if (t.kind == Tok::End)
                break;
            if (t.kind == Tok::Punct && t.text == "#" && lineStart)
            {
                Token d = lex.Next();
                std::string rest = lex.RestOfLine();
                Directive(d.text, rest, file, active, taken, on(), t.where);
                continue;
            }
            if (!on() || headerOnly)
                continue;
            Emit(t, 0);
        }
        if (!active.empty())
            throw std::runtime_error(file.string() + ": #if without #endif");
        --depth_;
    }

    void Directive(const std::string& name, const std::string& rest, const std::filesystem::path& file,
                   std::vector<bool>& active, std::vector<bool>& taken, bool on, const std::string& where)
    {
        auto trim = [](std::string s) {
            size_t a = s.find_first_not_of(" \t\r");
            size_t b = s.find_last_not_of(" \t\r");
            return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
        };
        std::string arg = trim(rest);
        if (name == "ifdef" || name == "ifndef")
        {
            bool defined = defines_.count(arg) || kConstants.count(arg) || kClassNames.count(arg);
            bool v = name == "ifdef" ? defined : !defined;
            active.push_back(v);
            taken.push_back(v);
        }
        else if (name == "if")
        {
            bool v = Condition(arg, where);
            active.push_back(v);
            taken.push_back(v);
        }
        else if (name == "elif")
        {
            if (active.empty())
                throw std::runtime_error(where + ": #elif without #if");
            bool v = !taken.back() && Condition(arg, where);
            active.back() = v;
            taken.back() = taken.back() || v;
        }
        else if (name == "else")
        {
            if (active.empty())
                throw std::runtime_error(where + ": #else without #if");
            active.back() = !taken.back();
            taken.back() = true;
        }
        else if (name == "endif")
        {
            if (active.empty())
                throw std::runtime_error(where + ": #endif without #if");
            active.pop_back();
            taken.pop_back();
        }
        else if (!on)
            return;
        else if (name == "define")
        {
            Lexer lex(arg, where);
            Token macro = lex.Next();
            if (macro.kind != Tok::Ident)
                throw std::runtime_error(where + ": #define without a name");
            std::vector<Token> body;
            for (Token t = lex.Next(); t.kind != Tok::End; t = lex.Next())
                body.push_back(t);
            defines_[macro.text] = body;
        }
        else if (name == "undef")
            defines_.erase(arg);
        else if (name == "include")
        {
            if (arg.size() > 2 && arg.front() == '"')
            {
                std::filesystem::path inc = file.parent_path() / arg.substr(1, arg.find('"', 1) - 1);
                std::string ext = inc.extension().string();
                Include(inc, ext == ".h" || ext == ".hpp" || ext == ".c");
            }
            // <...>: the SDK's headers, whose names this reader knows already.
        }
        else if (name == "pragma")
        {
            if (arg.rfind("code_page", 0) == 0 && arg.find("65001") == std::string::npos)
                throw std::runtime_error(where + ": only UTF-8 resource scripts are read");
        }
        else if (name == "error")
            throw std::runtime_error(where + ": #error " + arg);
    }

    bool Condition(const std::string& text, const std::string& where)
    {
        Lexer lex(text, where);
        std::vector<Token> toks;
        for (Token t = lex.Next(); t.kind != Tok::End; t = lex.Next())
            toks.push_back(t);
        size_t i = 0;
        // Supports: numbers, macros, defined(X) / defined X, !, ||, &&, == and !=.
        std::function<long long()> unary = [&]() -> long long {
            if (i >= toks.size())
                throw std::runtime_error(where + ": incomplete #if");
            Token t = toks[i++];
            if (t.text == "!")
                return !unary();
            if (t.text == "(")
            {
                long long v = unary();
                while (i < toks.size() && toks[i].text != ")")
                    ++i;
                ++i;
                return v;
            }
            if (t.kind == Tok::Number)
                return t.value;
            if (t.text == "defined")
            {
                bool paren = i < toks.size() && toks[i].text == "(";
                if (paren)
                    ++i;
                std::string n = i < toks.size() ? toks[i++].text : "";
                if (paren)
                    ++i;
                return defines_.count(n) || kConstants.count(n) ? 1 : 0;
            }
            if (t.kind == Tok::Ident)
            {
                auto it = defines_.find(t.text);
                if (it != defines_.end() && it->second.size() == 1 && it->second[0].kind == Tok::Number)
                    return it->second[0].value;
                auto k = kConstants.find(t.text);
                return k != kConstants.end() ? k->second : 0;
            }
            throw std::runtime_error(where + ": cannot evaluate #if " + text);
        };
        std::function<long long()> expr = [&]() -> long long {
            long long v = unary();
            while (i + 1 < toks.size() + 1 && i < toks.size())
            {
                std::string op = toks[i].text;
                if ((op == "|" || op == "&" || op == "=" || op == "!") && i + 1 < toks.size() &&
                    toks[i + 1].text == (op == "!" ? "=" : op))
                {
                    i += 2;
                    long long r = unary();
                    if (op == "|")
                        v = v || r;
                    else if (op == "&")
                        v = v && r;
                    else if (op == "=")
                        v = v == r;
                    else
                        v = v != r;
                }
                else
                    break;
            }
            return v;
        };
        return expr() != 0;
    }

    void Emit(const Token& t, int depth)
    {
        if (t.kind == Tok::Ident && depth < 16)
        {
            auto it = defines_.find(t.text);
            if (it != defines_.end())
            {
                for (const Token& b : it->second)
                {
                    Token copy = b;
                    copy.where = t.where;
                    Emit(copy, depth + 1);
                }
                return;
            }
        }
        out_.push_back(t);
    }

    std::map<std::string, std::vector<Token>, std::less<>> defines_;
    std::vector<Token> out_;
    int depth_ = 0;
};

std::string Upper(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

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
                Expression();
                SkipComma();
                String();
                while (IsPunct(","))
                {
                    Take();
                    Expression();
                }
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

struct Registry
{
    std::mutex lock;
    std::map<WString, std::filesystem::path> files;                        // module file name → .rc
    std::map<std::filesystem::path, std::shared_ptr<ResourceFile>> parsed; // kept for the run
    std::map<std::filesystem::path, std::string> failed;
};

Registry& registry()
{
    static Registry r;
    return r;
}

WString FileNameOf(WStringView path)
{
    size_t slash = path.find_last_of(u"\\/");
    return WString(slash == WStringView::npos ? path : path.substr(slash + 1));
}

// Icon handles stand for resources by name; the value only has to be stable and non-null.
std::map<WString, HICON>& iconHandles()
{
    static std::map<WString, HICON> h;
    return h;
}

HICON IconHandle(const WString& key)
{
    std::lock_guard g(registry().lock);
    auto& map = iconHandles();
    auto it = map.find(key);
    if (it != map.end())
        return it->second;
    HICON h = reinterpret_cast<HICON>(static_cast<ULONG_PTR>(0x50000 + 4 * map.size()));
    map[key] = h;
    return h;
}
} // namespace

WString IconNameOf(HICON icon)
{
    std::lock_guard g(registry().lock);
    for (const auto& [key, handle] : iconHandles())
        if (handle == icon)
            return key;
    return {};
}

ResourceFile ParseResourceScript(const std::filesystem::path& rcFile)
{
    Preprocessor pre;
    return Parser(pre.Run(rcFile)).Run();
}

WString ResourceName(LPCWSTR name)
{
    if (IS_INTRESOURCE(name))
        return u"#" + Widen(std::to_string(reinterpret_cast<ULONG_PTR>(name)));
    WString n(name);
    if (!n.empty() && n[0] == u'#')
        return n;
    return Fold(n);
}

const ResourceFile* ResourcesOfFile(WStringView fileName)
{
    Registry& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.files.find(Fold(FileNameOf(fileName)));
    if (it == r.files.end())
        return nullptr;
    if (auto p = r.parsed.find(it->second); p != r.parsed.end())
        return p->second.get();
    if (r.failed.count(it->second))
        return nullptr;
    try
    {
        auto file = std::make_shared<ResourceFile>(ParseResourceScript(it->second));
        r.parsed[it->second] = file;
        return file.get();
    }
    catch (const std::exception& e)
    {
        r.failed[it->second] = e.what();
        ReportFailure(std::string("resource script unreadable: ") + e.what());
        return nullptr;
    }
}

const ResourceFile* ResourcesOf(HINSTANCE instance)
{
    if (instance && instance != GetModuleHandleW(nullptr))
        return nullptr;
    return ResourcesOfFile(CurrentProcess().imagePath);
}

LANGID UiLanguage()
{
    return GetUserDefaultUILanguage();
}

} // namespace sim::detail

namespace sim
{
bool RegisterModuleResources(const char16_t* fileName, const char* rcPath)
{
    std::lock_guard g(detail::registry().lock);
    detail::registry().files[detail::Fold(fileName)] = std::filesystem::path(rcPath);
    return true;
}

void Desktop::RegisterResources(WStringView moduleFileName, const std::filesystem::path& rcFile)
{
    std::lock_guard g(detail::registry().lock);
    detail::registry().files[detail::Fold(moduleFileName)] = rcFile;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax)
{
    const ResourceFile* file = ResourcesOf(instance);
    const WString* text = nullptr;
    if (file)
        if (auto it = file->strings.find(id); it != file->strings.end())
            text = PickLanguage(it->second, UiLanguage());
    if (!text)
    {
        if (buffer && bufferMax > 0)
            buffer[0] = 0;
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    if (!buffer)
        return 0;
    if (bufferMax == 0)
    {
        // The caller gets a pointer to the resource itself.
        *reinterpret_cast<LPCWSTR*>(buffer) = text->c_str();
        return static_cast<int>(text->size());
    }
    CopyOut(*text, buffer, bufferMax);
    return static_cast<int>(std::min<size_t>(text->size(), static_cast<size_t>(bufferMax - 1)));
}

HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int, int, UINT flags)
{
    if (!name)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (flags & LR_LOADFROMFILE)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (!instance)
    {
        if (!IS_INTRESOURCE(name))
        {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        return IconHandle(u"system" + ResourceName(name));
    }
    const ResourceFile* file = ResourcesOf(instance);
    WString key = ResourceName(name);
    if (type != IMAGE_ICON || !file || !file->icons.count(key))
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return IconHandle(key);
}

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    return static_cast<HICON>(LoadImageW(instance, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name)
{
    if (instance)
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return IconHandle(u"cursor" + ResourceName(name));
}

BOOL WINAPI DestroyIcon(HICON icon)
{
    return icon ? TRUE : FALSE;
}

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle)
{
    if (handle)
        *handle = 0;
    if (!fileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const ResourceFile* file = ResourcesOfFile(fileName);
    if (!file)
    {
        SetLastError(GetFileAttributesW(fileName) == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND
                                                                             : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    if (file->version.empty())
    {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    return static_cast<DWORD>(file->version.size());
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR fileName, DWORD, DWORD size, LPVOID data)
{
    SIM_FAULT_POINT("GetFileVersionInfoW", FALSE);
    DWORD need = GetFileVersionInfoSizeW(fileName, nullptr);
    if (!need || !data)
        return FALSE;
    const ResourceFile* file = ResourcesOfFile(fileName);
    std::memcpy(data, file->version.data(), std::min<size_t>(size, file->version.size()));
    return TRUE;
}

namespace
{
WORD ReadWord(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

// Walks the version record's nodes by key, bounded by each node's own length.
bool FindNode(const BYTE* base, size_t size, WStringView path, const BYTE*& value, UINT& length)
{
    size_t at = 0;
    size_t end = size;
    if (size < 6)
        return false;
    end = std::min<size_t>(ReadWord(base), size);
    auto keyEnd = [&](size_t node, size_t limit) {
        size_t k = node + 6;
        while (k + 1 < limit && (base[k] | base[k + 1]))
            k += 2;
        return k + 2;
    };
    auto valueAt = [&](size_t node, size_t limit) {
        return std::min(limit, (keyEnd(node, limit) + 3) & ~size_t{3});
    };
    size_t nodeStart = at, nodeEnd = end;
    while (!path.empty())
    {
        size_t slash = path.find(u'\\');
        WStringView part = path.substr(0, slash);
        path = slash == WStringView::npos ? WStringView() : path.substr(slash + 1);
        if (part.empty())
            continue;
        // Children start after the node's value.
        WORD valueLength = ReadWord(base + nodeStart + 2);
        WORD type = ReadWord(base + nodeStart + 4);
        size_t child = valueAt(nodeStart, nodeEnd) + (type == 1 ? valueLength * 2u : valueLength);
        child = (child + 3) & ~size_t{3};
        bool found = false;
        while (child + 6 <= nodeEnd)
        {
            size_t len = ReadWord(base + child);
            if (len < 6 || child + len > nodeEnd)
                return false;
            WString key;
            for (size_t k = child + 6; k + 1 < child + len && (base[k] | base[k + 1]); k += 2)
                key += static_cast<WCHAR>(base[k] | (base[k + 1] << 8));
            if (EqualNoCase(key, part))
            {
                nodeStart = child;
                nodeEnd = child + len;
                found = true;
                break;
            }
            child = (child + len + 3) & ~size_t{3};
        }
        if (!found)
            return false;
    }
    WORD valueLength = ReadWord(base + nodeStart + 2);
    value = base + valueAt(nodeStart, nodeEnd);
    length = valueLength;
    return true;
}
} // namespace

BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length)
{
    if (!block || !subBlock || !buffer || !length)
        return FALSE;
    const BYTE* base = static_cast<const BYTE*>(block);
    const BYTE* value = nullptr;
    UINT len = 0;
    if (!FindNode(base, ReadWord(base), subBlock, value, len) || len == 0)
        return FALSE;
    *buffer = const_cast<BYTE*>(value);
    *length = len;
    return TRUE;
}
