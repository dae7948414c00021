// The contract's world on the real system under Wine: fresh folders below
// the fixture folder the platform layer test makes (PLATFORM_FIXTURES),
// where it also made the folder link, a Unix symbolic link.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "contract/seam_contract.h"

namespace updater::contract {
namespace {

std::string Fixtures() {
    const char* folder = std::getenv("PLATFORM_FIXTURES");
    if (folder == nullptr) throw std::runtime_error("PLATFORM_FIXTURES is not set");
    return folder;
}

void MakeFolderAt(const std::string& path) {
    if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw std::runtime_error("cannot make " + path);
}

class Win32ContractWorld final : public ContractWorld {
public:
    Win32ContractWorld() {
        static int cases = 0;
        const std::string contract = Fixtures() + "\\contract";
        MakeFolderAt(contract);
        folder_ = contract + "\\case-" + std::to_string(++cases);
        MakeFolderAt(folder_);
        MakeFolderAt(UpdateRoot());
        MakeFolderAt(ProductRoot());
    }
    std::string UpdateRoot() const override { return folder_ + "\\update"; }
    std::string ProductRoot() const override { return folder_ + "\\product"; }
    void MakeFolder(const std::string& path) override { MakeFolderAt(path); }
    void MakeFile(const std::string& path, const std::string& bytes) override {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string FolderLink() override { return Fixtures() + "\\contract-link\\linked"; }
    std::string FolderLinkTarget() override { return Fixtures() + "\\contract-link\\target"; }

private:
    std::string folder_;
};

}  // namespace

std::unique_ptr<ContractWorld> NewContractWorld() { return std::make_unique<Win32ContractWorld>(); }

}  // namespace updater::contract
