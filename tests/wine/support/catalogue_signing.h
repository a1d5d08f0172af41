// The signing tool (tools/sign-catalogue) run from a test under Wine: new key
// pairs, signatures over catalogue bytes and the digest lines of images, all
// made by the tool itself at test time. Wine starts the tool as a host
// process it cannot wait for, so each call waits, up to a time limit, for the
// file the tool writes under its final name only when it is complete.
#pragma once

#include <string>

namespace catalogue_signing {

// The test build's key (its public half is one of the build's keys).
std::string TestKey();

// The host path of a file of Wine's file system ("" when it has none).
std::string HostPath(const std::string& windowsPath);

// A new key pair in folder (a Windows path with a trailing backslash):
// the private key's Windows path, or "" with *problem said.
std::string MakeKey(const std::string& folder, const std::string& name, std::string* problem);

// The tool's 64-byte signature over catalogue with privateKey (a Windows
// path); scratch is a folder for the files handed to the tool. False with
// *problem said when the tool gives none in time.
bool Sign(const std::string& catalogue, const std::string& privateKey, const std::string& scratch,
          std::string* signature, std::string* problem);

// The tool's "SHA256<entry>=<hex>" line for image, CRLF-ended.
bool DigestLine(const std::string& image, int entry, const std::string& scratch, std::string* line,
                std::string* problem);

}  // namespace catalogue_signing
