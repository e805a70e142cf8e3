#include "platform/registry_store.h"

namespace registry_store {

namespace {

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool NamesEqual(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

namespace {

template <class T> T* FindNamed(std::vector<T>& items, const std::string& n)
{
    for (T& item : items)
        if (NamesEqual(item.name, n))
            return &item;
    return nullptr;
}

} // namespace

Key* Key::FindSubkey(const std::string& n)
{
    return FindNamed(subkeys, n);
}

const Key* Key::FindSubkey(const std::string& n) const
{
    return const_cast<Key*>(this)->FindSubkey(n);
}

Key& Key::FindOrAddSubkey(const std::string& n)
{
    if (Key* k = FindSubkey(n))
        return *k;
    subkeys.push_back(Key{n, {}, {}});
    return subkeys.back();
}

Value* Key::FindValue(const std::string& n)
{
    return FindNamed(values, n);
}

const Value* Key::FindValue(const std::string& n) const
{
    return const_cast<Key*>(this)->FindValue(n);
}

bool Key::RemoveValue(const std::string& n)
{
    Value* v = FindNamed(values, n);
    if (!v)
        return false;
    values.erase(values.begin() + (v - values.data()));
    return true;
}

Key* FindKey(Key& root, const std::vector<std::string>& path)
{
    Key* k = &root;
    for (const std::string& part : path) {
        k = k->FindSubkey(part);
        if (!k)
            return nullptr;
    }
    return k;
}

const Key* FindKey(const Key& root, const std::vector<std::string>& path)
{
    return FindKey(const_cast<Key&>(root), path);
}

} // namespace registry_store
