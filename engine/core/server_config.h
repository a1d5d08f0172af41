// The server sites of config.ini and the site dialog's decisions (CServerSel),
// and the engine's own built-in servers. The dialog and the file access stay
// with the engine: it reads config.ini through a ProfileReader, fills its list
// box from ReadSiteList, and on OK asks ChooseSite what to hand back and what
// to write. Portable: no Windows header.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "profile_values.h"

namespace vossel {

// config.ini lies beside the engine ("%sconfig.ini" with ModuleDir).
inline constexpr char kConfigFileName[] = "config.ini";
// Display names under "0", "1", ... and the preselected position.
inline constexpr char kServerListSection[] = "SERVER";
inline constexpr char kDefaultSiteKey[] = "Default";
// Keys of a site's own section, which is named by its list position.
inline constexpr char kSiteAddressKey[] = "Address";
inline constexpr char kSiteDirectoryKey[] = "Directory";
inline constexpr char kSiteUsernameKey[] = "Username";
inline constexpr char kSitePasswordKey[] = "Password";

// One text field of a site: at most 29 characters and a terminating zero.
inline constexpr size_t kServerFieldSize = 30;
inline constexpr size_t kServerFieldMaxLength = kServerFieldSize - 1;

// The chosen FTP site as the site dialog hands it back.
struct ServerSite {
    char Address[kServerFieldSize];    // FTP host name or address
    char Directory[kServerFieldSize];  // server directory to change into after logging in
    char Username[kServerFieldSize];   // login name, may be empty
    char Password[kServerFieldSize];   // password, may be empty
};
static_assert(sizeof(ServerSite) == 4 * kServerFieldSize, "ServerSite is four 30-byte texts");

// The unattended update check tries kBuiltInServerCount servers of the
// engine's own (the build names them), each with the directory
// kBuiltInServerDirectory and an empty user name and password.
inline constexpr size_t kBuiltInServerCount = 5;
inline constexpr char kBuiltInServerDirectory[kServerFieldSize] = "//BIOS";

// What the site dialog shows when it starts.
struct SiteList {
    // Display names of the sites, list entry n from SERVER / n, in key order
    // up to the first absent number (and at most kMaxNumberedEntries).
    std::vector<std::string> names;
    // The position to select from SERVER / Default (absent: 0), or -1 when it
    // lies outside the list, which selects nothing.
    int preselected;
};

SiteList ReadSiteList(const ProfileReader& config);

// What OK in the site dialog decides for the list selection.
struct SiteChoice {
    // true: close the dialog with OK, hand back site and write defaultText as
    // SERVER / Default. false: one of the site's values does not fit its
    // field; show refusalText (caption kSiteRefusalCaption, OK button) and
    // leave the dialog open with nothing written, so another site can be
    // chosen.
    bool accepted;
    ServerSite site;          // when accepted; every field zero-terminated, the rest zeros
    std::string defaultText;  // the site's section name, the selection in decimal ("-1" for none)
    std::string refusalText;  // when refused
};

// Choice: a value longer than 29 characters is refused, not cut. A cut host
// name can name another machine, which would then be sent the user name and
// password; a cut directory or login only fails later with a misleading
// message.
inline constexpr char kSiteRefusalCaption[] = "ERROR";

// selection: the list box's selection, -1 when nothing is selected. That
// number names the site's section: nothing selected reads section "-1",
// which normally gives four empty fields and writes "-1" as Default; an empty
// field is accepted (the connection fails later and is reported there).
SiteChoice ChooseSite(const ProfileReader& config, int selection);

}  // namespace vossel
