#pragma once
// Sets environment variables for one test and puts the old values back after it.
#include <QByteArray>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class ScopedEnv {
  public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->wasSet)
                qputenv(it->name.c_str(), it->value);
            else
                qunsetenv(it->name.c_str());
        }
    }
    void Set(const char* name, const QByteArray& value) {
        saved_.push_back({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        qputenv(name, value);
    }

  private:
    struct Saved {
        std::string name;
        bool wasSet;
        QByteArray value;
    };
    std::vector<Saved> saved_;
};

}  // namespace testsupport
