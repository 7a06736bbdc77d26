// An argument in a heap block of its exact size, for the tests and the fuzz
// targets: with the sanitizers, any read past the argument's end is caught.
#pragma once

#include <cstring>
#include <memory>
#include <string>

// The bytes of arg alone in a block of their size, or, when terminated,
// followed by the NUL that ends them.
inline std::unique_ptr<char[]> exact_copy(const std::string& arg, bool terminated)
{
    std::unique_ptr<char[]> copy(new char[arg.size() + terminated]);
    std::memcpy(copy.get(), arg.data(), arg.size());
    if (terminated)
        copy[arg.size()] = '\0';
    return copy;
}
