// korvel-sim, the same on every face: the program's own window and code over a simulated
// Windows NT system with simulated KORVEL bridges. It opens on a demo bus and writes sample
// firmware files into a folder of its own, where the open dialog starts. It is also the test
// harness: a bus from a file, and a script of steps performed on the window without showing
// it, with a journal of everything that happened.
//
//   korvel-sim                          the demo
//   korvel-sim --bus BUS.json           the window over the bus described in BUS.json
//   korvel-sim [--bus BUS.json] --script SCRIPT.json --journal OUT.jsonl
//                                       the script's steps, offscreen; the journal in OUT.jsonl
//   korvel-sim [--bus BUS.json] [--journal OUT.jsonl] -- OPTIONS...
//                                       korvel-update's command line over the bus; with
//                                       --journal, the commands and holds in OUT.jsonl
//   korvel-sim --samples DIR            the demo's sample firmware files, written into DIR
//   korvel-sim --screenshots DIR TAG    the documentation's pictures, then it closes
//
// A malformed bus or script file, an input or journal that is not a regular file, or a command
// line it cannot follow ends the program with one line on stderr and exit code 2 before any
// window exists. A journal that could not be written to the end gives exit code 3.
#pragma once

#include <string>
#include <vector>

namespace korvel {

class ScriptedRun;

/// What a face's window starts with, once the simulated system is installed.
struct SimFaceStart {
    /// Where the open dialog starts (UTF-8); empty for the face's own choice.
    std::string firmware_folder;
    /// The scripted run to begin on the window, or null for a window a person uses.
    ScriptedRun* scripted = nullptr;
    /// The picture mode: the folder and tag of the pictures, or an empty folder.
    std::string screenshot_folder;
    std::string screenshot_tag;
    /// argv[0] and the single-dash arguments left to the face's toolkit, then a null pointer.
    std::vector<char*> toolkit_arguments;
};

/// A face's part of korvel-sim: its window over the simulated system, and its message loop.
class SimFace {
public:
    virtual ~SimFace() = default;
    /// Shows the window and runs its loop; returns the exit code as the program's would be.
    virtual int run(SimFaceStart& start) = 0;
};

/// Writes "korvel-sim: text" as one line on stderr, whatever the text holds.
void sim_say(const std::string& text);

/// korvel-sim's whole run on face. argv's texts are UTF-8.
int korvel_sim_main(int argc, char** argv, SimFace& face);

}  // namespace korvel
