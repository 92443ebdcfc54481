// The engine's scan and restore, without disk access for now.
#include "undelete/ntfs_undel.h"

bool CNtfsUndel::ScanVolume(const std::string& /*device*/) {
    PublishProgress(-1);
    return false;
}

bool CNtfsUndel::RestoreByName(const std::string& /*outputFolder*/, const std::string& /*name*/,
                               std::vector<std::string>& /*restored*/) {
    return false;
}
