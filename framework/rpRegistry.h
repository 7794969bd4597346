// rpRegKey: one open key of the registry, for the few values a program keeps from one run to
// the next. Every read checks the value's type and size, so that a value that is missing, of
// another type or damaged reads as absent, never as half a value.
// Ownership: owns the key handle and closes it; not copyable.
#ifndef RP_REGISTRY_H
#define RP_REGISTRY_H

#include <windows.h>

#include <string>

class rpRegKey {
public:
    rpRegKey() = default;
    ~rpRegKey();
    rpRegKey(const rpRegKey&) = delete;
    rpRegKey& operator=(const rpRegKey&) = delete;

    // RegOpenKeyExA for reading; false (nothing open) when the key does not exist.
    bool open(HKEY root, const char* path);
    // RegCreateKeyExA for reading and writing, made when missing; false when refused.
    bool create(HKEY root, const char* path);
    bool isOpen() const { return key_ != nullptr; }

    // A REG_SZ value of at most maxBytes bytes (terminator included) into *value; false, with
    // *value untouched, when it is missing, of another type or longer. A value stored without
    // its terminator ends where its data ends.
    bool getString(const char* name, std::string* value, DWORD maxBytes);
    // A REG_BINARY value of exactly `size` bytes into data; false, with data untouched,
    // otherwise.
    bool getBinary(const char* name, void* data, DWORD size);
    // RegSetValueExA; false when refused.
    bool setString(const char* name, const std::string& value);
    bool setBinary(const char* name, const void* data, DWORD size);

    // RegDeleteTreeA of root\path and everything under it; true when it is gone.
    static bool deleteTree(HKEY root, const char* path);

private:
    void close();
    HKEY key_ = nullptr;  // owned
};

#endif
