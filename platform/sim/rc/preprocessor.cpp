#include "rc/lexer.h"

#include <stdexcept>

namespace sim::detail::script
{
namespace
{
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
} // namespace

std::vector<Token> Preprocess(const std::filesystem::path& file)
{
    Preprocessor pre;
    return pre.Run(file);
}

} // namespace sim::detail::script
