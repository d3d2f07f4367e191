// What the install aide needs of the attached handheld.
#pragma once
#include <string>

namespace palmkit::detail {

struct AttachedUser {
    bool attached = false;
    std::string userName;
    std::string userDir;
};

AttachedUser CurrentUser();

} // namespace palmkit::detail
