#pragma once
// A folder of the test's own under the system's temporary folder, named after the running test
// and removed with everything in it (also what a test made read-only) when it goes.
#include <gtest/gtest.h>

#include <QString>
#include <string>

namespace testsupport {

class TempFolder {
  public:
    // The name starts with "tonvera-", then `label`, or else the running test's name.
    explicit TempFolder(const std::string& label = "");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    // The same as Qt names it: the folder, or a name inside it.
    QString QPath(const QString& name = {}) const;

  private:
    std::string path_;
};

// The fixture of a suite whose tests write files: a fresh folder for every test.
class TempFolderTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return dir_.Path(name); }

    TempFolder dir_;
};

}  // namespace testsupport
