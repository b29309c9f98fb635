#include "korvel_program.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "korvel_main.h"
#include "korvel_pictures.h"
#include "korvel_second_copy.h"
#include "lib_global.h"
#include "qt_user_interface.h"
#include "ui_seam.h"

namespace korvel {

namespace {

constexpr const char* UNKNOWN_EXCEPTION_TEXT = "Unknown exception.";

}  // namespace

KorvelApplication::KorvelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("korvel-update"));
    setApplicationDisplayName(QString::fromLatin1(APPLICATION_TITLE));
    setWindowIcon(application_icon());
}

bool KorvelApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        exception_seen_ = true;
        show_unexpected_failure(error.what());
    } catch (...) {
        exception_seen_ = true;
        show_unexpected_failure(UNKNOWN_EXCEPTION_TEXT);
    }
    // Every running loop ends as soon as control returns to it; the outermost one then hands
    // back the failure code.
    QCoreApplication::exit(EXIT_FAILURE);
    return false;
}

void show_unexpected_failure(const char* text) {
    std::fprintf(stderr, "%s: %s\n", APPLICATION_TITLE, text);
    show_message(text, APPLICATION_TITLE, MB_ICON_STOP_OK);
}

int run_program(int& argc, char** argv, const std::function<void(TForm_Main&)>& prepare) {
    KorvelApplication application(argc, argv);
    install_qt_user_interface(nullptr);
    int code = EXIT_SUCCESS;
    try {
        TForm_Main form;
        qt_user_interface().set_main_window(&form);
        if (prepare) prepare(form);
        form.show();
        code = QApplication::exec();
        // A loop ended by an exception leaves the window open: close it the ordinary way, so
        // the reboot reminder is shown and the SCSI service stopped.
        if (!form.form().closed()) form.close();
        if (form.form().start_failed()) code = EXIT_FAILURE;
    } catch (const std::exception& error) {
        show_unexpected_failure(error.what());
        code = EXIT_FAILURE;
    } catch (...) {
        show_unexpected_failure(UNKNOWN_EXCEPTION_TEXT);
        code = EXIT_FAILURE;
    }
    if (application.exception_seen()) code = EXIT_FAILURE;
    install_user_interface(nullptr);
    return code;
}

int run_second_copy(int& argc, char** argv) {
    KorvelApplication application(argc, argv);
    install_qt_user_interface(nullptr);
    show_already_running();
    install_user_interface(nullptr);
    return EXIT_FAILURE;
}

}  // namespace korvel
