// The resource-script reader's stages: constants, lexer, preprocessor and parser.
#pragma once

#include "rc/resources.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace sim::detail::script
{
// Names the SDK headers give an .rc file; ours carry the same values.
extern const std::map<std::string, long long, std::less<>> kConstants;
// Control class names given as macros in CONTROL statements.
extern const std::map<std::string, std::string, std::less<>> kClassNames;

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

// The script's text, without a byte-order mark.
std::string ReadAll(const std::filesystem::path& p);
// Obeys directives and expands macros into one flat token list.
std::vector<Token> Preprocess(const std::filesystem::path& file);
ResourceFile Parse(std::vector<Token> tokens);
std::string Upper(std::string s);

} // namespace sim::detail::script
