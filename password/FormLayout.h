// The settings program's forms as both of its front ends build them: each
// control's name, kind, place in pixels, built-in French text and the message
// that replaces it, and its hint. The Qt windows and the Win32 ones take their
// geometry and texts from here, so that the two cannot drift apart.
#pragma once
#include <span>
#include <string_view>

enum class TControlKind {
    Image,
    PageControl,
    Page,
    Label,
    Group,
    Edit,
    ComboList, // a drop-down list, not editable
    Button,
    IconButton, // flat, 32 by 32, explained by its hint
    Radio,
    Check,
    ListBox,
    ListView,
};

enum TControlStyle : unsigned {
    kPlain = 0,
    kBold = 1,
    kItalic = 2,
    kCentered = 4,
    kWrap = 8,
    kMasked = 16, // shows "*" for each character
    kDisabled = 32,
    kDefault = 64, // the default button: Enter presses it
};

// One control, placed in its parent's client area: the form, a page, or a
// group (whose controls are placed inside the group).
struct TControlDef {
    const char* name;
    TControlKind kind;
    const char* parent; // "" for the form itself
    int x, y, width, height;
    int message;      // replaces `text` at start; 0 for none
    const char* text; // the built-in text, shown without a catalog
    unsigned style = kPlain;
    int hintMessage = 0;
    const char* hint = nullptr;
};

struct TFormDef {
    const char* name;
    int width, height; // client area
    int titleMessage;
    const char* title;
    std::span<const TControlDef> controls;
};

namespace formlayout {

// The pages' place inside the page control, the tabs above them.
inline constexpr int kPageX = 4, kPageY = 24, kPageWidth = 441, kPageHeight = 269;

inline constexpr TControlDef kPasswordControls[] = {
    {"Image1", TControlKind::Image, "", 0, 0, 121, 297, 0, ""},
    {"tabCtl", TControlKind::PageControl, "", 123, 0, 449, 297, 0, ""},
    {"tabNorveliaLogin", TControlKind::Page, "tabCtl", kPageX, kPageY, kPageWidth, kPageHeight, 3007,
     "Mot de Passe Norvelia"},
    {"tabCheckConnection", TControlKind::Page, "tabCtl", kPageX, kPageY, kPageWidth, kPageHeight, 3011,
     "Vérifier la connexion"},
    {"tabServers", TControlKind::Page, "tabCtl", kPageX, kPageY, kPageWidth, kPageHeight, 3033, "Serveurs"},

    // Login page, in tab order.
    {"lblTitleNorvelia", TControlKind::Label, "tabNorveliaLogin", 8, 6, 425, 18, 3000,
     "Définition du mot de passe Norvelia", kBold | kItalic},
    {"lblExplainNorvelia", TControlKind::Label, "tabNorveliaLogin", 8, 26, 425, 58, 3001,
     "Pour assurer la sécurité de vos synchronisations avec les serveur Norvelia, nous vous demandons de bien "
     "vouloir confirmer le login et le password que vous avez fournis lors de votre inscription sur le site "
     "Norvelia.",
     kWrap},
    {"lblUsername", TControlKind::Label, "tabNorveliaLogin", 8, 92, 150, 21, 3002, "Utilisateur Palm"},
    {"ComboUserList", TControlKind::ComboList, "tabNorveliaLogin", 160, 90, 200, 22, 0, ""},
    {"GroupBox1", TControlKind::Group, "tabNorveliaLogin", 8, 142, 425, 88, 3003, "Identification "},
    {"lblLogin", TControlKind::Label, "GroupBox1", 10, 18, 180, 21, 3004, "Login Norvelia"},
    {"EdLoginNorvelia", TControlKind::Edit, "GroupBox1", 200, 18, 215, 21, 0, ""},
    {"lblPassword", TControlKind::Label, "GroupBox1", 10, 41, 180, 21, 3005, "Mot de passe"},
    {"EdNewPasswordNorvelia", TControlKind::Edit, "GroupBox1", 200, 41, 215, 21, 0, "", kMasked},
    {"lblConfirmPassword", TControlKind::Label, "GroupBox1", 10, 64, 180, 21, 3006, "Confirmation mot de passe"},
    {"EdConfirmPasswordNorvelia", TControlKind::Edit, "GroupBox1", 200, 64, 215, 21, 0, "", kMasked},
    {"btnNorveliaLoginOk", TControlKind::Button, "tabNorveliaLogin", 240, 236, 89, 25, 3009, "&Valider"},
    {"lblDefaultServer", TControlKind::Label, "tabNorveliaLogin", 8, 118, 150, 21, 3032, "Serveur Norvelia", kPlain,
     3040, "Serveur par défaut"},
    {"ComboServerList", TControlKind::ComboList, "tabNorveliaLogin", 160, 116, 200, 22, 0, "", kBold | kDisabled, 0,
     "Serveur par Défaut"},

    // Connection page.
    {"lblTitleProxy", TControlKind::Label, "tabCheckConnection", 8, 6, 425, 18, 3012,
     "Vérification de la connexion aux serveurs Norvelia", kBold | kItalic},
    {"lblExplainProxy", TControlKind::Label, "tabCheckConnection", 8, 26, 425, 44, 3013,
     "Cette page vous permet de tester que la connexion aux serveurs Norvelia fonctionne correctement et, si ce "
     "n'est pas le cas, de modifier les paramètres de connexion.",
     kWrap},
    {"gbxProxy", TControlKind::Group, "tabCheckConnection", 8, 72, 425, 62, 3014, "Mode de connexion "},
    {"rbConnectionDefault", TControlKind::Radio, "gbxProxy", 10, 18, 405, 19, 3015,
     "Utiliser les paramètres par défaut de Windows"},
    {"rbConnectionProxy", TControlKind::Radio, "gbxProxy", 10, 38, 405, 19, 3016,
     "Définir manuellement les paramètres d'identification de mon Proxy/Firewall"},
    {"gbxProxyLogin", TControlKind::Group, "tabCheckConnection", 8, 138, 425, 92, 3017,
     "Paramètres d'identification de mon Proxy/Firewall "},
    {"lblProxyLogin", TControlKind::Label, "gbxProxyLogin", 10, 18, 180, 21, 3018, "Nom d'utilisateur"},
    {"edtProxyLogin", TControlKind::Edit, "gbxProxyLogin", 200, 18, 215, 21, 0, ""},
    {"lblProxyPassword", TControlKind::Label, "gbxProxyLogin", 10, 42, 180, 21, 3019, "Mot de passe"},
    {"edtProxyPassword", TControlKind::Edit, "gbxProxyLogin", 200, 42, 215, 21, 0, "", kMasked},
    {"lblNoInfoSentToNorvelia", TControlKind::Label, "gbxProxyLogin", 10, 66, 405, 19, 3020,
     "Aucune information n'est envoyée à Norvelia", kBold | kCentered},
    {"btnTestCnx", TControlKind::Button, "tabCheckConnection", 8, 236, 81, 25, 3021, "&Tester"},
    // The language of messages and windows, from the next start of each program.
    {"cbLanguage", TControlKind::ComboList, "tabCheckConnection", 95, 236, 135, 25, 0, "", kPlain, 3057,
     "Langue des messages et des fenêtres, au prochain démarrage des programmes"},
    {"btnCheckConnectionOk", TControlKind::Button, "tabCheckConnection", 240, 236, 89, 25, 3009, "&Valider"},

    // Servers page.
    {"lblTitleServers", TControlKind::Label, "tabServers", 8, 6, 425, 18, 3034, "Configuration des serveurs Norvelia",
     kBold | kItalic},
    {"lblExplainServers", TControlKind::Label, "tabServers", 8, 26, 425, 36, 3035,
     "Ici, vous pouvez facilement administrer les serveurs disponibles pour votre Norvelia : ajout, modification, "
     "suppression... ",
     kWrap},
    {"lblSrvUserName", TControlKind::Label, "tabServers", 8, 70, 150, 21, 3002, "Utilisateur"},
    {"ComboSrvUserList", TControlKind::ComboList, "tabServers", 160, 68, 200, 22, 0, ""},
    {"ListView1", TControlKind::ListView, "tabServers", 8, 98, 395, 127, 0, ""},
    {"btnCreateServer", TControlKind::IconButton, "tabServers", 409, 98, 32, 32, 0, "", kPlain, 3036,
     "Ajouter/Modifier un serveur"},
    {"btnDeleteServer", TControlKind::IconButton, "tabServers", 409, 130, 32, 32, 0, "", kPlain, 3038,
     "Supprimer le serveur"},
    {"btnModifyServer", TControlKind::IconButton, "tabServers", 409, 162, 32, 32, 0, "", kPlain, 3039,
     "Login et Password "},
    {"btnDefaultServer", TControlKind::IconButton, "tabServers", 409, 194, 32, 32, 0, "", kPlain, 3040,
     "Serveur par défaut"},

    // On the window, above the pages' bottom right corner.
    {"btnCancel", TControlKind::Button, "", 473, 260, 85, 25, 3010, "&Quitter"},
};

inline constexpr TFormDef kPassword{"frmPassword", 572, 297, 3008, "Norvelia - Gestion des mots de passe",
                                    kPasswordControls};

// The servers list's columns: title message, built-in title, width in pixels.
struct TColumnDef {
    int message;
    const char* title;
    int width;
    bool centred;
};
inline constexpr TColumnDef kServerColumns[] = {
    {3043, "Défaut", 50, true},
    {3044, "Serveur", 70, false},
    {3045, "Login", 60, false},
    {3046, "URL", 350, false},
};

// The servers list's pop-up menu: fixed captions.
struct TMenuItemDef {
    const char* name;
    const char* text;
};
inline constexpr TMenuItemDef kServerMenu[] = {
    {"AddNewServer1", "Ajouter un Serveur"},
    {"SuppressServer1", "Supprimer le serveur"},
    {"ConnexionParam1", "Paramètres de Connexion"},
    {"DefaultServer1", "Etablir comme Serveur par Défaut"},
};

inline constexpr TControlDef kDlgSrvControls[] = {
    {"lblServerName", TControlKind::Label, "", 10, 12, 110, 21, 3048, "Nom du Serveur"},
    {"EdDlgServerNorvelia", TControlKind::Edit, "", 125, 12, 205, 21, 0, ""},
    {"lblServerURL", TControlKind::Label, "", 10, 42, 110, 21, 3049, "URL du Serveur"},
    {"EdDlgURLNorvelia", TControlKind::Edit, "", 125, 42, 205, 21, 0, "http://"},
    {"btnDlgSrvOk", TControlKind::Button, "", 160, 80, 80, 25, 3009, "OK", kDefault},
    {"btnDlgSrvQuit", TControlKind::Button, "", 250, 80, 80, 25, 3010, "QUIT"},
};
inline constexpr TFormDef kDlgSrv{"frmDlgSrv", 340, 118, 3047, "Nouveau Serveur", kDlgSrvControls};

inline constexpr TControlDef kDlgCnxControls[] = {
    {"lblExplainConnexion", TControlKind::Label, "", 10, 8, 350, 30, 3053,
     "Veuillez rentrer ci-dessous vos paramètres de connexion au serveur :  ", kWrap},
    {"lblServerName", TControlKind::Label, "", 10, 40, 350, 18, 0, "", kBold},
    {"lblUserName", TControlKind::Label, "", 10, 66, 165, 21, 3054, "Nom de l'Utilisateur"},
    {"EdDlgCnxUserName", TControlKind::Edit, "", 180, 66, 180, 21, 0, "", kDisabled},
    {"lblUserLogin", TControlKind::Label, "", 10, 92, 165, 21, 3004, "Login Norvelia"},
    {"EdDlgCnxUserLogin", TControlKind::Edit, "", 180, 92, 180, 21, 0, ""},
    {"lblNorveliaPassword", TControlKind::Label, "", 10, 118, 165, 21, 3005, "Mot de passe"},
    {"EdDlgCnxNewNorveliaPassword", TControlKind::Edit, "", 180, 118, 180, 21, 0, "", kMasked},
    {"lblNorveliaPasswordConfirmation", TControlKind::Label, "", 10, 144, 165, 21, 3006, "Confirmation mot de passe"},
    {"EdDlgCnxNorveliaPasswordConfirmation", TControlKind::Edit, "", 180, 144, 180, 21, 0, "", kMasked},
    {"CheckCnxDefaultServer", TControlKind::Check, "", 10, 172, 350, 19, 3055, "Serveur par Défaut"},
    {"btnDlgCnxOk", TControlKind::Button, "", 190, 200, 80, 25, 3009, "&VALIDER", kDefault},
    {"btnDlgCnxQuit", TControlKind::Button, "", 280, 200, 80, 25, 3010, "&QUIT"},
};
inline constexpr TFormDef kDlgCnx{"frmDlgCnx", 370, 232, 3052, "Connexion au Serveur", kDlgCnxControls};

inline constexpr TControlDef kDlgCrtcUsrControls[] = {
    {"lblServerName", TControlKind::Label, "", 10, 8, 280, 18, 0, "", kBold},
    {"lblExplainDeleteInfo", TControlKind::Label, "", 10, 28, 280, 30, 3051,
     "est utilisé comme serveur par défaut pour les utilisateurs suivants", kWrap},
    {"lstbCriticUsers", TControlKind::ListBox, "", 10, 62, 280, 104, 0, ""},
    {"btnDlgCrtcUsrQuit", TControlKind::Button, "", 210, 175, 80, 25, 3010, "Fermer"},
};
inline constexpr TFormDef kDlgCrtcUsr{"frmDlgCrtcUsr", 300, 210, 3030, "Information", kDlgCrtcUsrControls};

// The control named `name` of a form; a name it does not hold is a fault of
// the program, found by the first test that builds the form.
constexpr const TControlDef& Control(const TFormDef& form, std::string_view name)
{
    for (const TControlDef& c : form.controls)
        if (name == c.name) return c;
    return form.controls.front();
}

} // namespace formlayout
