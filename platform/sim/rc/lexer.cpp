#include "rc/lexer.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace sim::detail::script
{

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

} // namespace sim::detail::script
