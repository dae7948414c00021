// What the update logic relies on of the seam, held against each of its
// implementations: the same cases are compiled once for each (the in-memory
// Windows, update-kit preview's real Linux files, and the Windows layer under
// Wine), each with its own way of making the files a case needs.
#pragma once

#include <memory>
#include <string>

namespace updater::contract {

// The world one case runs in: two empty folders that exist, the update's
// and the product's (Windows paths, no trailing "\"), where the case makes
// the files and folders it needs.
class ContractWorld {
public:
    virtual ~ContractWorld() = default;
    virtual std::string UpdateRoot() const = 0;
    virtual std::string ProductRoot() const = 0;
    // Made below either root; every folder on the way exists already.
    virtual void MakeFolder(const std::string& path) = 0;
    virtual void MakeFile(const std::string& path, const std::string& bytes) = 0;
    // A link to a folder, as this system makes one, and the folder it leads
    // to, which holds one file; both may lie outside the two roots.
    virtual std::string FolderLink() = 0;
    virtual std::string FolderLinkTarget() = 0;
};

// A new world, defined once by each implementation's suite.
std::unique_ptr<ContractWorld> NewContractWorld();

}  // namespace updater::contract
