#include "support/temp_folder.h"

#include <stdlib.h>

#include <QFile>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace testsupport {
namespace {

std::string RunningTest() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info) return "test";
    return std::string(info->test_suite_name()) + "-" + info->name();
}

// What a test made unreadable or unwritable, the removal may enter and empty again.
void MakeRemovable(const fs::path& root) {
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
}

}  // namespace

TempFolder::TempFolder(const std::string& label) {
    std::string name = label.empty() ? RunningTest() : label;
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c) && c != '-'; },
        '_');
    name.resize(std::min<size_t>(name.size(), 80));
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / ("tonvera-" + name + ".XXXXXX")).string();
    if (mkdtemp(pattern.data()))
        path_ = pattern;
    else
        ADD_FAILURE() << "no temporary folder " << pattern << ": " << std::strerror(errno);
}

TempFolder::~TempFolder() {
    if (path_.empty()) return;
    MakeRemovable(path_);
    std::error_code ec;
    fs::remove_all(path_, ec);
}

QString TempFolder::QPath(const QString& name) const {
    const QString folder = QFile::decodeName(path_.c_str());
    return name.isEmpty() ? folder : folder + u'/' + name;
}

}  // namespace testsupport
