// Signed catalogues and image digests over the platform's CNG: the catalogue
// and its signature read from the server and judged before the local
// bios.ini is replaced, the SHA-256 of a downloaded image, the interactive
// update's policy from config.ini and what the last unattended check found.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "afx_internet.h"
#include "catalogue_digest.h"

namespace vossel {

// config.ini: RequireSigned=1 makes the interactive update refuse unsigned
// catalogues.
inline constexpr char kSecuritySection[] = "SECURITY";
inline constexpr char kRequireSignedKey[] = "RequireSigned";

// The interactive update's refusals, each with the site's address; caption
// kFtpErrorCaption, no icon.
inline constexpr char kMsgCatalogueSignatureRefusedFormat[] =
    "The \"bios.ini\" file in \"%s\" Zorvik server has a signature that does not verify.\n"
    "The server was not used. Nothing was written.";
inline constexpr char kMsgCatalogueUnsignedFormat[] =
    "The \"bios.ini\" file in \"%s\" Zorvik server is not signed, and signed files are required.\n"
    "The server was not used. Nothing was written.";
// The file's name, then the site's address.
inline constexpr char kMsgImageDigestMismatchFormat[] =
    "The file \"%s\" from \"%s\" Zorvik server does not match the digest of its catalogue.\n"
    "Nothing was saved or written.";

}  // namespace vossel

enum class CatalogueFetch {
    kAccepted,          // bios.ini beside the engine now holds the server's
    kMissing,           // the server gave no catalogue (or it could not be kept)
    kRefusedSignature,  // a signature no built-in key verifies: nothing kept
    kRefusedUnsigned,   // unsigned, and the policy asks for a signature: nothing kept
};

struct FetchedCatalogue {
    CatalogueFetch outcome = CatalogueFetch::kMissing;
    bool authenticated = false;
    // The local catalogue it replaced (when kAccepted and there was one).
    bool replaced = false;
    std::vector<uint8_t> previous;
};

// Reads bios.ini and bios.ini.sig from the connection's current directory and
// judges them with the built-in keys; only an accepted catalogue replaces the
// one beside the engine, byte for byte.
FetchedCatalogue FetchTrustedCatalogue(CFtpConnection& connection, bool requireSigned);

// Puts back the local catalogue that fetched replaced: a catalogue whose
// digest the server's image does not match is not kept.
void RestorePreviousCatalogue(const FetchedCatalogue& fetched);

// Whether config.ini asks the interactive update for signed catalogues.
bool InteractiveRequiresSigned();

// SHA-256 of length bytes through CNG; false when CNG fails.
bool Sha256(const uint8_t* data, uint32_t length, vossel::Digest* digest);

// Whether a downloaded image may go on under pin: its SHA-256 is computed
// only when the pin asks for it.
bool ImageMatchesPin(const vossel::PinnedDigest& pin, const uint8_t* image, uint32_t length);

// What BiosUpdateCheck's accepted catalogue said: whether it was
// authenticated, and the digest it gives for the offered image (entry 0).
struct CheckedCatalogue {
    bool authenticated = false;
    vossel::PinnedDigest digest;
};
void RememberCheckedCatalogue(const CheckedCatalogue& checked);
CheckedCatalogue LastCheckedCatalogue();

extern "C" {
// Whether the catalogue of the last BiosUpdateCheck that offered an update was
// authenticated by a built-in key: 1 yes, 0 no (also before any check, and
// after a check that offered nothing). digest, when not null and digestSize is
// at least 65, receives the 64 lower-case hex digits the catalogue pins for
// the offered image, terminated ("" when it pins none).
int __cdecl BiosUpdateCheckAuthenticated(char* digest, unsigned digestSize);
}
