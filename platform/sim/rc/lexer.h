// Splits script text into tokens, keeping file and line for messages.
#pragma once

#include "rc/script.h"

#include <algorithm>
#include <string>

namespace sim::detail::script
{

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

} // namespace sim::detail::script
