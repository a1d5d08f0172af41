// The FTP servers the engine_ftp fixture started, as a test under Wine finds
// them: their roots and command logs in the paths Wine gives the host's
// folders (Z:), from $FTP_STATEDIR/servers.env.
#pragma once

#include <map>
#include <string>
#include <vector>

class FtpServers {
public:
    // False (with the reason in *problem) when the fixture's state is missing.
    bool Load(std::string* problem);

    // The server's root folder, with a trailing backslash.
    std::string Root(const std::string& name) const;
    // The lines of the server's command log so far.
    std::vector<std::string> Log(const std::string& name) const;
    // Deletes and recreates the root's "BIOS" folder, empty.
    void ClearBiosFolder(const std::string& name) const;
    // Writes a file into the root's "BIOS" folder (created if need be).
    void Serve(const std::string& name, const std::string& file, const std::string& bytes) const;

private:
    std::string Value(const std::string& key) const;
    std::map<std::string, std::string> values_;
};

