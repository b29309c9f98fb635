// korvel-sim: the program's own window and code over a simulated Windows NT system with
// simulated KORVEL bridges. It opens on a demo bus and writes sample firmware files into a
// folder of its own, where the open dialog starts.
//
//   korvel-sim                          the demo
//   korvel-sim --screenshots DIR TAG    the documentation's pictures, then it closes
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "demo_bus.h"
#include "korvel_main.h"
#include "korvel_program.h"
#include "lib_getwnver.h"
#ifdef _WIN32
#include "windows_platform.h"
#include "windows_util_platform.h"
#else
#include "linux_platform.h"
#include "linux_util_platform.h"
#endif
#include "sim_platform.h"
#include "sim_screenshots.h"

using namespace korvel;

int main(int argc, char** argv) {
    QString screenshot_folder;
    QString screenshot_tag;
    for (int i = 1; i + 2 < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshots") == 0) {
            screenshot_folder = QString::fromLocal8Bit(argv[i + 1]);
            screenshot_tag = QString::fromLocal8Bit(argv[i + 2]);
        }
    }

    SimPlatform sim;
    const DemoBus bus = lay_out_demo_bus(sim);
    // The simulated system speaks the language of the process locale.
#ifdef _WIN32
    sim.identity.set_lcid(windows_identity().system_default_lcid());
#else
    sim.identity.set_lcid(lcid_from_locale_name(process_locale_name()));
#endif
    sim.install();
    install_os_util_platform();
    detect_system_language();

    QTemporaryDir samples(QDir::tempPath() + QStringLiteral("/korvel-sim-XXXXXX"));
    const QString firmware_folder = samples.isValid() ? samples.path() : QString();
    if (firmware_folder.isEmpty() ||
        !write_demo_firmware_files(bus, std::filesystem::path(firmware_folder.toStdU16String()))) {
        std::fprintf(stderr, "korvel-sim: could not write the sample firmware files\n");
    } else {
        std::printf("korvel-sim: sample firmware files in %s\n", qPrintable(firmware_folder));
    }

    return run_program(argc, argv, [&](TForm_Main& form) {
        form.set_firmware_folder(firmware_folder);
        if (!screenshot_folder.isEmpty()) {
            take_screenshots(form, screenshot_folder, screenshot_tag, firmware_folder);
        }
    });
}
