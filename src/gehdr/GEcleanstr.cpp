#include "gehdr/GEcleanstr.h"

std::string GEcleanstr(const std::string& text)
{
    std::string out = text.substr(0, text.find('\0'));
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u >= 127)
            c = '_';
        else if (c == '^')
            c = ' ';
    }
    return out;
}
