// The content folder of the service, read once at start:
//   catalogs/<channel id>/catalog.json | catalog.pdb, [deflist.*], [reflist.*]
//   users/<UID>/channels, [users/<UID>/userctx.json | userctx.pdb]
//   app/norvelia.prc, app/VERSION
//   games/<channel id>  (the game references of that game channel, one a line)
// JSON descriptions are compiled with catalogc.
#pragma once
#include <map>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

struct ServedFile {
    std::string fileName; // name the client stores it under
    Bytes bytes;
    bool present = false;
};

struct CatalogChannel {
    std::string id;
    std::string catalogName; // channel id and kCatalogSuffix
    ServedFile catalog;
    ServedFile defList;
    ServedFile refList;
};

struct UserContent {
    std::vector<std::string> channels; // in file order
    bool hasChannelsFile = false;
    ServedFile userCtx;
};

class CServiceContent {
public:
    // The three characters that end every catalog name: the conduit takes a
    // catalog name without them as the channel id.
    static constexpr const char* kCatalogSuffix = "cat";

    // `catalogc`: the compiler program; `workDir`: where compiled files go.
    // False with `error` telling what is wrong in the folder.
    bool Load(const std::string& dir, const std::string& catalogc, const std::string& workDir, std::string& error);

    // Channel ids are matched without regard to case, as the client does.
    const CatalogChannel* FindChannel(const std::string& id) const;
    const UserContent* FindUser(const std::string& uid) const;
    // Channel id of the game channel that lists this game reference, or empty.
    std::string FindGameChannel(const std::string& game) const;
    bool IsGameChannel(const std::string& id) const;

    const std::string& AppVersion() const { return m_AppVersion; }
    const ServedFile& AppFile() const { return m_AppFile; }
    const std::vector<CatalogChannel>& Channels() const { return m_Channels; }
    const std::map<std::string, UserContent>& Users() const { return m_Users; }

private:
    bool LoadCatalog(const std::string& folder, const std::string& id, std::string& error);
    bool LoadUser(const std::string& folder, const std::string& uid, std::string& error);
    bool LoadGame(const std::string& file, const std::string& id, std::string& error);
    // A database from <folder>/<base>.json (compiled) or <folder>/<base>.pdb;
    // false only on a broken file; `found` tells whether there was one.
    bool ReadDatabase(const std::string& folder, const std::string& base, Bytes& out, bool& found,
                      std::string& error);

    std::string m_Catalogc;
    std::string m_WorkDir;
    std::vector<CatalogChannel> m_Channels;
    std::map<std::string, UserContent> m_Users;
    struct Game {
        std::string channel;
        std::vector<std::string> references;
    };
    std::map<std::string, Game> m_Games; // by lower-case channel id
    std::string m_AppVersion;
    ServedFile m_AppFile;
};
