#include "JsonReader.h"

bool CJsonReader::Object(const json& value, const std::string& path, std::initializer_list<const char*> known)
{
    if (!value.is_object()) {
        Error(path, "expected an object");
        return false;
    }
    for (auto it = value.begin(); it != value.end(); ++it) {
        bool found = false;
        for (const char* k : known) found = found || it.key() == k;
        if (!found) Error(Member(path, it.key()), "unknown member");
    }
    return true;
}

std::optional<std::string> CJsonReader::Text(const json& object, const char* key, const std::string& path)
{
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return std::nullopt;
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number()) return it->dump();
    Error(Member(path, key), "expected a string or a number");
    return std::nullopt;
}

std::optional<bool> CJsonReader::Bool(const json& object, const char* key, const std::string& path)
{
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return std::nullopt;
    if (it->is_boolean()) return it->get<bool>();
    Error(Member(path, key), "expected true or false");
    return std::nullopt;
}

std::optional<long long> CJsonReader::Integer(const json& object, const char* key, const std::string& path)
{
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return std::nullopt;
    if (it->is_number_integer()) return it->get<long long>();
    Error(Member(path, key), "expected an integer");
    return std::nullopt;
}

const CJsonReader::json* CJsonReader::Array(const json& object, const char* key, const std::string& path)
{
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    if (!it->is_array()) {
        Error(Member(path, key), "expected an array");
        return nullptr;
    }
    return &*it;
}
