#pragma once
// A pseudo-terminal pair whose slave stays open on our side too, so that the
// host may open and close the slave as often as it likes without the master
// seeing a hang-up.
// Thread: one owner thread opens and closes; MasterFd may be used elsewhere
// while it is open.

#include <string>

namespace q8sim {

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal() { Close(); }

    // Returns false with Error() set when any step fails; nothing stays open.
    bool Open();
    void Close();

    int MasterFd() const { return master_; }
    // Our own descriptor of the slave, for looking at the tty's state.
    int SlaveFd() const { return slave_; }
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& Error() const { return error_; }

  private:
    bool Fail(const char* step);

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string error_;
};

}  // namespace q8sim
