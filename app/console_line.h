#pragma once
// A progress line on a terminal: redrawn in place, ended with a line break. Nothing at all
// when standard error is a pipe or a file.
#include <string>

namespace app {

class TConsoleLine {
  public:
    TConsoleLine();
    ~TConsoleLine() { End(); }
    TConsoleLine(const TConsoleLine&) = delete;
    TConsoleLine& operator=(const TConsoleLine&) = delete;

    void Draw(const std::string& text);
    // Ends the line, so that what is written next starts on a line of its own.
    void End();
    // Takes the line away, so that what is written next stands in its place.
    void Clear();

  private:
    bool terminal_;
    std::string shown_;
};

}  // namespace app
