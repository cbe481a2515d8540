// Every text of the program's window fits its gadget in the font the window layer actually got:
// a wider fallback font must not cut a label such as "Router IP Address             Port".
// Registered twice: with the system's fonts, and with Arial's metric twins hidden from fontconfig
// so that the font falls back to a wider one.
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "app_test_env.h"
#include "runtime/ui_calls.h"

namespace {

// What the status bar shows after each collection, with a change of three digits.
const char* const status_text = "Collection: 23:59   DeltaCRC: 999";

// "" when the text fits, else which text is too wide, in which font, and by how much.
QString misfit(QWidget* widget, const QString& text) {
    const int width = widget->fontMetrics().horizontalAdvance(text);
    const int room = widget->contentsRect().width();
    if (width <= room) return {};
    return QStringLiteral("\"%1\" in %2 (%3, %4 px): %5 px too wide\n")
        .arg(text, widget->objectName(), QFontInfo(widget->font()).family())
        .arg(widget->font().pixelSize())
        .arg(width - room);
}

}  // namespace

class GadgetTextFitTest : public QObject {
    Q_OBJECT

  private slots:
    void everyLabelButtonAndStatusTextFitsItsGadget();
};

void GadgetTextFitTest::everyLabelButtonAndStatusTextFitsItsGadget() {
    ProgramWindow program;
    QVERIFY(program.started());
    QWidget* window = main_window_widget();
    QString faults;
    int measured = 0;
    for (QWidget* gadget :
         window->findChildren<QWidget*>(QRegularExpression(QStringLiteral("^gadget\\d+$")))) {
        if (auto* button = qobject_cast<QPushButton*>(gadget)) {
            faults += misfit(button, button->text());
            ++measured;
        } else if (auto* label = qobject_cast<QLabel*>(gadget)) {
            faults += misfit(label, label->text());
            ++measured;
        }
    }
    QLabel* status_field = window->findChild<QLabel*>(QStringLiteral("statusfield0"));
    QVERIFY(status_field);
    set_status_text(0, 0, status_text);
    faults += misfit(status_field, status_field->text());
    QCOMPARE(measured, 2 + 4);  // Run, Quit and the four labels
    QVERIFY2(faults.isEmpty(), qPrintable(QLatin1Char('\n') + faults));
}

QTEST_MAIN(GadgetTextFitTest)
#include "gadget_text_fit_test.moc"
