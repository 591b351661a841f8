// Command numbers of the frame's menus, toolbar and accelerators. They travel as the
// data of each QAction, so a command is the same whichever way it was given.
#pragma once

namespace tavrin::app {

enum CommandId : int {
    ID_LOGO = 14,
    ID_TOOLBAR_CUSTOMIZE = 126,
    ID_VIEW_APPLOOK_WIN_2000 = 210,
    ID_VIEW_APPLOOK_OFF_XP = 211,
    ID_VIEW_APPLOOK_WIN_XP = 212,
    ID_VIEW_APPLOOK_OFF_2003 = 213,
    ID_VIEW_APPLOOK_VS_2005 = 214,
    ID_VIEW_APPLOOK_OFF_2007_BLUE = 215,
    ID_VIEW_APPLOOK_OFF_2007_BLACK = 216,
    ID_VIEW_APPLOOK_OFF_2007_SILVER = 217,
    ID_VIEW_APPLOOK_OFF_2007_AQUA = 218,
    ID_FILE_SELECT_FILES = 32773,
    ID_FILE_REMOVE_FILES = 32774,
    ID_FILE_REPAIR_FILES = 32775,
    ID_APP_ABOUT_TAVRIN = 32785,
    ID_HELP_SOFTWARE_HELP = 32788,
    ID_FILE_BROWSE_FOLDER = 32802,
    ID_FILE_SAVE_FILES = 32804,
    ID_HELP_VISIT_WEBPAGE = 32805,
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
};

inline constexpr const char* kApplicationTitle = "Tavrin Lumiq";
inline constexpr const char* kWindowTitle = "Tavrin Lumiq - Version 1.0";
inline constexpr const char* kSettingsKey = "TavrinLumiqv1.0";
inline constexpr const char* kApplicationLookValue = "ApplicationLook";
inline constexpr const char* kHelpFileName = "Tavrin for Lumiq.html";
inline constexpr const char* kProductWebPage = "https://tavrinlumiq.example/lumiq/";
inline constexpr const char* kMakerWebSite = "https://tavrinlumiq.example/";
inline constexpr const char* kSupportMail = "mailto:support@tavrinlumiq.example";
inline constexpr const char* kSalesMail = "mailto:sales@tavrinlumiq.example";

} // namespace tavrin::app
