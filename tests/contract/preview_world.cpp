// The contract's world in update-kit preview's seam: real Linux folders in
// a temporary folder, standing for the update's and the product's folders.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>

#include "contract/seam_contract.h"
#include "kit/preview/preview_world.h"

namespace updater::contract {
namespace {

namespace fs = std::filesystem;

fs::path NewTemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "seam-contract-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    return pattern;
}

class PreviewContractWorld final : public ContractWorld {
public:
    PreviewContractWorld() : folder_(NewTemporaryFolder()) {
        fs::create_directories(folder_ / "update");
        fs::create_directories(folder_ / "product");
        world_.emplace(preview::PreviewSetup{UpdateRoot(), folder_ / "update", "\\SOFTWARE\\ORMIKA\\CONTRACT",
                                             ProductRoot(), folder_ / "product", "log"});
    }
    ~PreviewContractWorld() override {
        world_.reset();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string UpdateRoot() const override { return "C:\\Update"; }
    std::string ProductRoot() const override { return "D:\\Product"; }
    void MakeFolder(const std::string& path) override { fs::create_directory(OnDisk(path)); }
    void MakeFile(const std::string& path, const std::string& bytes) override {
        std::ofstream(OnDisk(path), std::ios::binary) << bytes;
    }
    // Both inside the product's folder: the preview sees nothing outside
    // its two folders.
    std::string FolderLink() override {
        MakeFolder(FolderLinkTarget());
        MakeFile(FolderLinkTarget() + "\\inside.txt", "inside");
        MakeFolder(ProductRoot() + "\\links");
        fs::create_directory_symlink(OnDisk(FolderLinkTarget()), OnDisk(ProductRoot() + "\\links\\linked"));
        return ProductRoot() + "\\links\\linked";
    }
    std::string FolderLinkTarget() override { return ProductRoot() + "\\target"; }

private:
    // The Linux path of a Windows path below one of the roots (ASCII names).
    fs::path OnDisk(const std::string& path) const {
        for (const auto& [root, base] : {std::pair{UpdateRoot(), folder_ / "update"},
                                         std::pair{ProductRoot(), folder_ / "product"}}) {
            if (path.compare(0, root.size() + 1, root + "\\") != 0) continue;
            fs::path result = base;
            std::string rest = path.substr(root.size() + 1);
            for (std::size_t at; (at = rest.find('\\')) != std::string::npos; rest.erase(0, at + 1))
                result /= rest.substr(0, at);
            return result / rest;
        }
        throw std::logic_error("no root holds " + path);
    }

    fs::path folder_;
    std::optional<preview::PreviewWorld> world_;
};

}  // namespace

std::unique_ptr<ContractWorld> NewContractWorld() { return std::make_unique<PreviewContractWorld>(); }

}  // namespace updater::contract
