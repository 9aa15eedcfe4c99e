// bench_search: the time of one typed character in the search box, from the key event to the
// drop-down filled (and opened when it may), over 10,000 Russian + 10,000 Latin keys.
#include "app/mainform.h"
#include "app/searchcombobox.h"
#include "db/namesearch.h"
#include "db/schema.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

void key(QWidget *target, QChar c)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(c));
    QCoreApplication::sendEvent(target, &press);
}

} // namespace

int main(int argc, char **argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.rxd"));
    schema::createDatabaseFile(path);
    TKalmedaRamuxMainForm w({}, path);
    const QStringList stems{QStringLiteral("АМОКСИЦИЛЛИН"), QStringLiteral("ИВЕРМЕКТИН"),
                            QStringLiteral("ФЕНБЕНДАЗОЛ"), QStringLiteral("ЭНРОФЛОКСАЦИН"),
                            QStringLiteral("ДОКСИЦИКЛИН")};
    for (int i = 0; i < 10000; ++i) {
        w.RussianNames.push_back(
            NameEntry{QStringLiteral("%1 %2 РАСТВОР %3%").arg(stems[i % 5]).arg(i).arg(i % 20), i});
        w.LatinNames.push_back(NameEntry{QStringLiteral("PRAEPARATUM %1 SOLUTIO").arg(i), i});
    }
    sortNameList(w.RussianNames);
    sortNameList(w.LatinNames);
    w.show();
    QApplication::setActiveWindow(&w);
    QCoreApplication::processEvents();
    key(w.ComboBox2, QLatin1Char('X')); // the first search installs the drop-down's model

    struct Case
    {
        const char *label;
        int alphabet;
        QString text;
    };
    const QVector<Case> cases{{"3 chars, 2000 hits (drop-down closed)", 0, QStringLiteral("ФЕН")},
                              {"6 chars, 1 hit (drop-down opens)", 0, QStringLiteral("ИН 777")},
                              {"4 chars, no hit", 0, QStringLiteral("QQQQ")},
                              {"Latin, 4 chars, 10000 hits", 1, QStringLiteral("PRAE")}};
    for (const Case &c : cases) {
        w.ComboBox1->setCurrentIndex(c.alphabet);
        QVector<double> times, filled;
        int count = 0;
        QElapsedTimer t;
        // The drop-down's items are in place when its model has been reset with the results.
        const auto connection = QObject::connect(w.ComboBox2->model(), &QAbstractItemModel::modelReset,
                                                 [&] { filled << t.nsecsElapsed() / 1e6; });
        for (int round = 0; round < 30; ++round) {
            w.ComboBox2->hidePopup();
            w.ComboBox2->lineEdit()->setText(c.text.left(c.text.size() - 1));
            t.start();
            key(w.ComboBox2, c.text.back());
            times << t.nsecsElapsed() / 1e6;
            count = w.ComboBox2->count();
        }
        QObject::disconnect(connection);
        std::sort(times.begin(), times.end());
        std::sort(filled.begin(), filled.end());
        std::printf(
            "%-40s filled: median %.2f ms, max %.2f ms; whole key incl. opening: median %.2f ms (%d items)\n",
            c.label, filled[filled.size() / 2], filled.last(), times[times.size() / 2], count);
    }
    return 0;
}
