#include "server_config.h"

#include <cstring>

namespace vossel {
namespace {

struct SiteFieldSlot {
    const char* key;
    char (ServerSite::*field)[kServerFieldSize];
};

// The four values of a site section, in the order they are read.
constexpr SiteFieldSlot kSiteFields[] = {
    {kSiteAddressKey, &ServerSite::Address},
    {kSiteDirectoryKey, &ServerSite::Directory},
    {kSiteUsernameKey, &ServerSite::Username},
    {kSitePasswordKey, &ServerSite::Password},
};

// Choice: the refusal names the value and the site's section, so the file
// can be mended.
std::string SiteFieldTooLongText(const char* key, const std::string& section) {
    return std::string("The ") + key + " of server site " + section +
           " in config.ini is longer than 29 characters.\nPlease select another site.";
}

}  // namespace

SiteList ReadSiteList(const ProfileReader& config) {
    SiteList list;
    for (int n = 0; n < kMaxNumberedEntries; ++n) {
        std::string name = ReadProfileValue(config, kServerListSection, std::to_string(n));
        if (name.empty()) {
            break;
        }
        list.names.push_back(std::move(name));
    }
    const std::string preselect = ReadProfileValue(config, kServerListSection, kDefaultSiteKey);
    const int position = preselect.empty() ? 0 : LeadingDecimalInteger(preselect);
    list.preselected = position >= 0 && static_cast<size_t>(position) < list.names.size() ? position : -1;
    return list;
}

SiteChoice ChooseSite(const ProfileReader& config, int selection) {
    SiteChoice choice{};
    choice.defaultText = std::to_string(selection);
    ServerSite site{};
    for (const SiteFieldSlot& slot : kSiteFields) {
        const std::string value = ReadProfileValue(config, choice.defaultText, slot.key);
        if (value.size() > kServerFieldMaxLength) {
            choice.accepted = false;
            choice.refusalText = SiteFieldTooLongText(slot.key, choice.defaultText);
            return choice;
        }
        std::memcpy(site.*slot.field, value.data(), value.size());
    }
    choice.accepted = true;
    choice.site = site;
    return choice;
}

}  // namespace vossel
