// The message catalog every program of the product loads: the one the user
// chose (MsgDll of the product key, as NvPassword's language list writes it),
// else the catalog of the locale's language.
#pragma once
#include <string>

// MsgDll as stored (empty when unset or unreadable).
std::string StoredMsgDll();

// The catalog name to load: StoredMsgDll(), else the locale's.
std::string ChosenMsgDll();

// Loads ChosenMsgDll() into the process; greater than 0 when loaded, as
// KESA_LoadMessages. `name` receives the catalog's name.
int LoadChosenMessages(std::string* name = nullptr);
