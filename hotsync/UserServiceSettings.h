// A HotSync user's service settings in the settings store, where the conduit
// reads them (HKLM\Software\Norvelia\Tidepost\Users\<user>): the current
// server, its URL and the login. What the first start stores, what a run
// checks before the conduit starts, and what follows a renamed or removed user.
#pragma once
#include <string>
#include <vector>

class CUserServiceSettings {
public:
    explicit CUserServiceSettings(std::string user);

    std::string CurrentServer() const;
    // The URL of the current server; empty without one.
    std::string ServerUrl() const;
    // UID on `server` (the current server when empty).
    std::string Login(const std::string& server = {}) const;
    bool HasPassword(const std::string& server = {}) const;

    // The value names of Servers, in the store's order, and one's URL.
    static std::vector<std::string> Servers();
    static std::string UrlOf(const std::string& server);

    // As the settings program stores a login: UID and PWD, the password in
    // its cypher, in Users\<user>\<server>, created with its parents; the
    // server becomes the current one. An empty password keeps the stored one.
    bool StoreLogin(const std::string& server, const std::string& login, const std::string& password,
                    std::string* error) const;

    // Why the conduit cannot start for this user, with how to set what lacks;
    // empty when it can.
    std::string Missing() const;
    // What lacks without stopping a run (the login: the handheld may hold one).
    std::string Warning() const;

    // Applies the shipped defaults when the store lacks them; what to tell
    // the person about it, empty when nothing happened.
    static std::string ApplyShippedDefaults();

    // Users\<from> and all below it become Users\<to>; true when there was
    // nothing to carry over.
    static bool Rename(const std::string& from, const std::string& to, std::string* error);
    // Deletes Users\<user>: its logins and password.
    static bool Remove(const std::string& user, std::string* error);

    static constexpr const char* kProductKey = "Software\\Norvelia\\Tidepost";

private:
    std::string UserKey() const;
    std::string m_User;
};
