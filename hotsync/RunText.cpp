#include "hotsync/RunText.h"

#include "settings/MessageLanguage.h"

namespace runtext {

bool LoadLanguage()
{
    return LoadChosenMessages() > 0;
}

} // namespace runtext
