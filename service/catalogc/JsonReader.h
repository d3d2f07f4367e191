// Reads values out of a JSON document and collects every problem with the
// JSON path of the offending value ("$.items[2].price").
#pragma once
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class CJsonReader {
public:
    using json = nlohmann::json;

    static std::string Member(const std::string& path, const std::string& key) { return path + "." + key; }
    static std::string Element(const std::string& path, std::size_t index)
    {
        return path + "[" + std::to_string(index) + "]";
    }

    void Error(const std::string& path, const std::string& text) { m_Errors.push_back(path + ": " + text); }
    // A record class's refusal text, when there is one.
    void Check(const std::string& path, const std::string& refusal)
    {
        if (!refusal.empty()) Error(path, refusal);
    }
    const std::vector<std::string>& Errors() const { return m_Errors; }

    // True when `value` is an object; its keys outside `known` are reported.
    bool Object(const json& value, const std::string& path, std::initializer_list<const char*> known);
    // Absent (or null) gives nothing. A string is taken as it is; a number
    // becomes its decimal text (so prices and ids may be given either way).
    std::optional<std::string> Text(const json& object, const char* key, const std::string& path);
    std::optional<bool> Bool(const json& object, const char* key, const std::string& path);
    std::optional<long long> Integer(const json& object, const char* key, const std::string& path);
    // The array under `key`, or null when absent (an error when not an array).
    const json* Array(const json& object, const char* key, const std::string& path);

private:
    std::vector<std::string> m_Errors;
};
