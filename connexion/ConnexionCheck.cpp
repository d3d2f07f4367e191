#include "connexion/ConnexionCheck.h"

#include "connexion/ConnexionUrl.h"
#include "settings/ConnectionProbe.h"
#include "settings/MessageLanguage.h"
#include "settings/RegAccess.h"

namespace {

constexpr const char* kProductKey = "SOFTWARE\\Norvelia\\Tidepost";

// The product key, created when it is missing (and writable).
void OpenProductKey(CRegAccess& reg)
{
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.SetKey(kProductKey, true);
}

} // namespace

bool LoadConnexionMessages()
{
    {
        CRegAccess reg;
        OpenProductKey(reg);
    }
    return LoadChosenMessages() > 0;
}

ConnexionOutcome RunConnexionCheck(const std::string& serverUrl, IProbeStatusWindow* status)
{
    {
        CRegAccess reg;
        OpenProductKey(reg);
    }
    const std::string probeUrl = ProbeUrlOf(serverUrl);
    // The address tried heads the account, so a person sees which server answered.
    if (status) status->AddLine(probeUrl);
    ConnexionOutcome outcome;
    try {
        CConnectionProbe probe;
        std::string body;
        outcome.ok = probe.Run(probeUrl.c_str(), body, nullptr, status);
        if (outcome.ok) probe.CloseSession();
        outcome.code = probe.m_LastErrorCode;
    } catch (...) {
        // A probe that could not even start sets no error code.
    }
    return outcome;
}

int RecordConnexionOutcome(const ConnexionOutcome& outcome)
{
    CRegAccess reg;
    OpenProductKey(reg);
    reg.WriteString("LastErrorCode", outcome.ok ? std::string("0") : std::to_string(outcome.code));
    return outcome.ok ? kConnexionSuccess : kConnexionFailure;
}

void RecordConnexionQuit()
{
    CRegAccess reg;
    OpenProductKey(reg);
    reg.WriteBinaryDword("LastErrorCode", 0xFFFFFFFFu);
}
