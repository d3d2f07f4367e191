// Builds a catalog ("CATA"), list ("LIST", "EMLS") or user-context ("USER")
// database from its JSON description, through the record classes.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "JsonReader.h"
#include "quillio/PdbFile.h"

class CCatalogCompiler {
public:
    // Handheld categories of the records; items, order, item references,
    // addresses and the user id are the handheld application's own.
    static constexpr int kItemCategory = 1;
    static constexpr int kCategoryCategory = 2;
    static constexpr int kImageCategory = 3;
    static constexpr int kDeliveryCategory = 4;
    static constexpr int kOrderCategory = 5;
    static constexpr int kAddressCategory = 6;
    static constexpr int kDeliveryZoneCategory = 7;
    static constexpr int kItemRefCategory = 8;
    static constexpr int kUserIdCategory = 9;

    // Relative image file names are taken from `baseDir`; `now` is the
    // header's creation and modification date (seconds since 1904).
    CCatalogCompiler(std::string baseDir, unsigned long now);

    // The database, or null with Errors() telling why.
    std::unique_ptr<CPdbFile> Compile(const nlohmann::json& root);
    const std::vector<std::string>& Errors() const { return m_Reader.Errors(); }

    // The text that --help shows.
    static std::string SchemaHelp();

private:
    using json = nlohmann::json;

    void AppInfo(const json& root, const char* type, const std::string& dbName, CPdbFile& pdb);
    void Items(const json& root, CPdbFile& pdb);
    void Categories(const json& root, CPdbFile& pdb);
    void Images(const json& root, CPdbFile& pdb);
    void DeliveryCharges(const json& root, CPdbFile& pdb);
    void DeliveryZones(const json& root, CPdbFile& pdb);
    void Order(const json& root, CPdbFile& pdb);
    void ItemRefs(const json& root, CPdbFile& pdb);
    void Addresses(const json& root, CPdbFile& pdb);
    void UserId(const json& root, CPdbFile& pdb);

    // A record's bytes into the database, or its "record too large" text.
    template <class Record>
    void AddRecord(const Record& record, int category, const std::string& path, CPdbFile& pdb);
    // Date text through a setter; a text that gives no date is reported.
    std::string DateText(const json& object, const char* key, const std::string& path);

    std::string m_BaseDir;
    unsigned long m_Now;
    std::string m_DateFormat = "W3C";
    CJsonReader m_Reader;
};
