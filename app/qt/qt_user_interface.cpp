#include "qt_user_interface.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPushButton>

#include <cstring>

#include "korvel_msg.h"
#include "lib_font.h"
#ifdef _WIN32
#include "windows_foreground.h"
#endif

namespace korvel {

namespace {

constexpr std::uint32_t MB_ICON_MASK = 0xF0u;
constexpr std::uint32_t MB_DEFAULT_MASK = 0xF00u;

struct ButtonChoice {
    QMessageBox::StandardButton button;
    int identifier;
};

// The buttons of each MB_ type value, in the order Windows shows them.
struct ButtonSet {
    int count;
    ButtonChoice buttons[3];
};
constexpr ButtonSet BUTTON_SETS[] = {
    {1, {{QMessageBox::Ok, ID_OK}}},
    {2, {{QMessageBox::Ok, ID_OK}, {QMessageBox::Cancel, ID_CANCEL}}},
    {3, {{QMessageBox::Abort, ID_ABORT}, {QMessageBox::Retry, ID_RETRY},
         {QMessageBox::Ignore, ID_IGNORE}}},
    {3, {{QMessageBox::Yes, ID_YES}, {QMessageBox::No, ID_NO},
         {QMessageBox::Cancel, ID_CANCEL}}},
    {2, {{QMessageBox::Yes, ID_YES}, {QMessageBox::No, ID_NO}}},
    {2, {{QMessageBox::Retry, ID_RETRY}, {QMessageBox::Cancel, ID_CANCEL}}},
};

QMessageBox::Icon icon_of(std::uint32_t flags) {
    switch (flags & MB_ICON_MASK) {
        case 0x10u: return QMessageBox::Critical;
        case 0x20u: return QMessageBox::Question;
        case 0x30u: return QMessageBox::Warning;
        case 0x40u: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

// The button that closing the box stands for: Cancel, else No, else the only OK.
int escape_identifier(const ButtonSet& set) {
    for (int preferred : {ID_CANCEL, ID_NO, ID_OK}) {
        for (int i = 0; i < set.count; ++i) {
            if (set.buttons[i].identifier == preferred) return preferred;
        }
    }
    return set.buttons[set.count - 1].identifier;
}

// Yes and No in the run's language, with Y and N as their keys as Windows shows them:
// "&Yes", or "是(&Y)" where the word has no such letter.
QString answer_caption(int message, char key) {
    const QString word = QString::fromUtf8(message_text(message));
    if (word.startsWith(QChar::fromLatin1(key), Qt::CaseInsensitive)) return u'&' + word;
    return word + QStringLiteral("(&") + QChar::fromLatin1(key) + u')';
}

QtUserInterface the_qt_user_interface;
QtFontSource the_qt_font_source;

}  // namespace

QWidget* QtUserInterface::owner() const {
    if (main_window_ != nullptr && main_window_->isVisible()) return main_window_;
    return QApplication::activeWindow();
}

void QtUserInterface::bring_to_front() {
    QWidget* window = main_window_ != nullptr ? main_window_.data() : QApplication::activeWindow();
    if (window == nullptr || !window->isVisible()) return;
    if (window->isMinimized()) {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->showNormal();
    }
    window->raise();
    window->activateWindow();
#ifdef _WIN32
    // Windows keeps a background program from taking the foreground unless asked this way.
    bring_window_to_front(static_cast<std::uintptr_t>(window->winId()));
#endif
}

int QtUserInterface::message_box(const char* text, const char* caption, std::uint32_t flags) {
    std::uint32_t type = flags & MB_TYPE_MASK;
    if (type >= std::size(BUTTON_SETS)) type = 0;
    const ButtonSet& set = BUTTON_SETS[type];

    QMessageBox box(icon_of(flags), QString::fromUtf8(caption), QString::fromUtf8(text),
                    QMessageBox::NoButton, owner());
    box.setTextFormat(Qt::PlainText);
    for (int i = 0; i < set.count; ++i) box.addButton(set.buttons[i].button);
    // Qt's own button captions are English unless its translations are installed.
    if (QAbstractButton* yes = box.button(QMessageBox::Yes)) {
        yes->setText(answer_caption(MSG_YES, 'Y'));
    }
    if (QAbstractButton* no = box.button(QMessageBox::No)) no->setText(answer_caption(MSG_NO, 'N'));
    int default_index = static_cast<int>((flags & MB_DEFAULT_MASK) >> 8);
    if (default_index >= set.count) default_index = 0;
    box.setDefaultButton(set.buttons[default_index].button);
    const int closing = escape_identifier(set);
    for (int i = 0; i < set.count; ++i) {
        if (set.buttons[i].identifier == closing) box.setEscapeButton(set.buttons[i].button);
    }

    // A busy cursor set by a long operation must not sit over the question it asks.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QApplication::restoreOverrideCursor();

    const QAbstractButton* clicked = box.clickedButton();
    for (int i = 0; i < set.count; ++i) {
        if (clicked != nullptr && clicked == box.button(set.buttons[i].button)) {
            return set.buttons[i].identifier;
        }
    }
    return closing;
}

void QtUserInterface::process_pending_messages() { QCoreApplication::processEvents(); }

bool QtFontSource::icon_font_name(char* name, std::size_t capacity) {
    const QByteArray family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family().toUtf8();
    if (name == nullptr || family.isEmpty() || static_cast<std::size_t>(family.size()) >= capacity) {
        return false;
    }
    std::memcpy(name, family.constData(), static_cast<std::size_t>(family.size()) + 1);
    return true;
}

void install_qt_user_interface(QWidget* main_window) {
    the_qt_user_interface.set_main_window(main_window);
    install_user_interface(&the_qt_user_interface);
    UtilPlatform platform = installed_util_platform();
    platform.fonts = &the_qt_font_source;
    install_util_platform(platform);
    forget_default_font_name();
}

QtUserInterface& qt_user_interface() { return the_qt_user_interface; }

}  // namespace korvel
