// A conduit library loaded with dlopen (LoadLibrary on Windows), closed when
// destroyed.
#pragma once
#include <string>

class CConduitLibrary {
public:
    CConduitLibrary() = default;
    ~CConduitLibrary();
    CConduitLibrary(const CConduitLibrary&) = delete;
    CConduitLibrary& operator=(const CConduitLibrary&) = delete;

    bool Load(const std::string& path, std::string* error);
    // Null when the library does not export it.
    void* Symbol(const char* name) const;
    template <typename Fn>
    Fn Get(const char* name) const
    {
        return reinterpret_cast<Fn>(Symbol(name));
    }

    // Leaves the library loaded for the rest of the process.
    void Keep() { m_Handle = nullptr; }

    // libNorv30.so in the private library folder beside the running program's
    // (bin/../lib/norvelia), else in its lib/ (a build tree); Norv30.dll
    // beside the program on Windows.
    static std::string DefaultPath();

private:
    void* m_Handle = nullptr;
};
