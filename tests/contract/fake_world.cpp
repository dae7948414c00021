// The contract's world in the in-memory Windows of the unit tests.
#include "contract/seam_contract.h"
#include "fakes/fake_platform.h"

namespace updater::contract {
namespace {

class FakeContractWorld final : public ContractWorld {
public:
    FakeContractWorld() {
        windows_.AddFolder(UpdateRoot());
        windows_.AddFolder(ProductRoot());
    }
    std::string UpdateRoot() const override { return "C:\\Update"; }
    std::string ProductRoot() const override { return "D:\\Product"; }
    void MakeFolder(const std::string& path) override { windows_.AddFolder(path); }
    void MakeFile(const std::string& path, const std::string& bytes) override {
        windows_.AddDataFile(path, bytes);
    }
    std::string FolderLink() override {
        windows_.AddDataFile(FolderLinkTarget() + "\\inside.txt", "inside");
        windows_.AddFolderLink("E:\\Links\\linked", FolderLinkTarget());
        return "E:\\Links\\linked";
    }
    std::string FolderLinkTarget() override { return "E:\\Target"; }

private:
    fake::FakeWindows windows_;
};

}  // namespace

std::unique_ptr<ContractWorld> NewContractWorld() { return std::make_unique<FakeContractWorld>(); }

}  // namespace updater::contract
