// The Qt application object, made once by the program entry and kept until the process ends.
// Qt aborts the process when no platform of its choice can start, so the display is checked
// first; what Qt still cannot start ends the program with one line instead of the abort.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "window/display_check.h"
#include "window/gadgets.h"

namespace {

struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

// While the application object is made: its messages (from any of Qt's threads), handed on once
// it stands.
std::mutex held_mutex;
std::vector<HeldMessage> held_messages;
QtMessageHandler previous_handler = nullptr;
std::string program_name = "kelvastats";

void hold_or_end(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        const QString first_line = text.section(QLatin1Char('\n'), 0, 0);
        std::fprintf(stderr, "%s: cannot open the window: %s\n", program_name.c_str(),
                     first_line.toLocal8Bit().constData());
        std::_Exit(1);
    }
    const std::lock_guard lock(held_mutex);
    held_messages.push_back({type, context.category ? context.category : "", text});
}

}  // namespace

std::string start_window_system(int& argc, char** argv) {
    if (QCoreApplication::instance()) return {};
    if (argc > 0 && argv[0]) {
        program_name = argv[0];
        program_name.erase(0, program_name.rfind('/') + 1);
    }
    std::string why = why_no_display(argc, argv);
    if (!why.empty()) return why;

    previous_handler = qInstallMessageHandler(&hold_or_end);
    new QApplication(argc, argv);  // lives as long as the process; program end never returns
    qInstallMessageHandler(previous_handler);
    const std::lock_guard lock(held_mutex);
    for (const HeldMessage& message : held_messages) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
        qt_message_output(message.type, context, message.text);
    }
    held_messages.clear();
    return {};
}
