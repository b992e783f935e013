// SPDX-License-Identifier: GPL-3.0-or-later
// The whole viewer on a sample card: the fixture and helpers its tests share.
#pragma once

#include "controls/controlid.h"
#include "controls/winevent.h"
#include "platform/waveout.h"
#include "tests/support/qt_wait.h"
#include "viewer/mainwindow.h"
#include "viewer/pictureview.h"
#include "viewer/skinctl.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << s.toStdString();
}

namespace viewer_test {

using qt_wait::kWaitMs;
using qt_wait::WaitUntil;

// Waits with the window's messages left in the queue, as while a handler runs.
inline bool WaitWithoutEvents(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kWaitMs) {
            return false;
        }
        QThread::msleep(5);
    }
    return true;
}

inline void Pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline DWORD DeviceVolume()
{
    DWORD v = 0xDEAD;
    waveOutGetVolume(nullptr, &v);
    return v;
}

// Sees the window messages and key presses an object receives, before it handles them.
class Tap : public QObject {
public:
    explicit Tap(QObject* target) : m_target(target) { target->installEventFilter(this); }
    ~Tap() override { m_target->removeEventFilter(this); }
    int Count(int message) const
    {
        return static_cast<int>(std::count(messages.begin(), messages.end(), message));
    }

    std::vector<int> messages;
    std::vector<std::pair<qintptr, CVehicleSignals::Table>> signalTables;  // (open number, table)
    int keyPresses = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        keyPresses += e->type() == QEvent::KeyPress;
        if (const CWinEvent* msg = CWinEvent::From(e)) {
            messages.push_back(msg->message());
            if (const auto* table = dynamic_cast<const CSignalsEvent*>(msg)) {
                signalTables.emplace_back(msg->wParam(), table->Signals());
            }
        }
        return false;
    }

private:
    QObject* m_target;
};

class ViewerApp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        card = tmp.path().toStdString() + "/card";
        std::filesystem::copy(SAMPLE_CARD_DIR, card, std::filesystem::copy_options::recursive);
        CSamplePlayerDlg::Options options;
        options.cardFolder = card;
        options.configFolder = tmp.path().toStdString() + "/config";
        options.messageBox = [this](QWidget*, const QString& text, const QString&, int buttons) {
            messages.push_back(text);
            return (buttons & QMessageBox::Yes) ? answer : static_cast<int>(QMessageBox::Ok);
        };
        options.saveFile = [this](QWidget*, const QString& suggested, const QString& filter) {
            saveAsked.push_back(suggested + "|" + filter);
            stateDuringDialog = dlg->Player().State();
            return saveAnswer;
        };
        options.chooseFolder = [this](QWidget*, const QString& title, const QString&) {
            folderAsked.push_back(title);
            return folderAnswer;
        };
        dlg = std::make_unique<CSamplePlayerDlg>(options);
        dlg->OnInitDialog();
        dlg->show();
        ASSERT_TRUE(WaitUntil([this] { return dlg->RowCount() > 0; })) << "the card was never listed";
        // Up and Down act on the list while the cursor is over it: keep it elsewhere.
        QCursor::setPos(dlg->mapToGlobal(QPoint(300, 300)));
    }

    void TearDown() override { dlg.reset(); }

    QString Label(int id) const { return static_cast<QLabel*>(dlg->Control(id))->text(); }
    QTreeWidget* List() const { return static_cast<QTreeWidget*>(dlg->Control(IDC_LIST)); }
    void ClickButton(int id) { qobject_cast<QAbstractButton*>(dlg->Control(id))->click(); }
    bool Activate()
    {
        dlg->activateWindow();
        return QTest::qWaitForWindowActive(dlg.get());
    }
    QString EntryName(int row) const { return dlg->RowText(row, 1).section(',', 0, 0); }
    // The row of the newest recording with this channel letter, after listing every category.
    int RowWithLetter(char letter)
    {
        ClickButton(IDC_CAT_ALL);
        for (int row = 0; row < dlg->RowCount(); ++row) {
            if (EntryName(row).endsWith(QString("_%1.avi").arg(letter))) {
                return row;
            }
        }
        return -1;
    }
    // The file on the card behind a driving row.
    std::string RecordingFile(int row) const
    {
        return card + "/RECORD/DRIVING/" + EntryName(row).replace(".avi", ".mub").toStdString();
    }

    void DoubleClickRow(int row)
    {
        QTreeWidget* list = List();
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        // QTest leaves the button down after a double click; the tick would wait for it.
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    bool WaitPlaying(int minMs = 1)
    {
        const bool ok = WaitUntil(
            [&] { return dlg->Player().PlayState() == 0 && dlg->Player().CurrentTimeMs() >= minMs; });
        if (!ok) {
            ADD_FAILURE() << "buttons " << int(QApplication::mouseButtons()) << " row " << dlg->CurrentRow()
                          << " state " << dlg->Player().PlayState() << " time "
                          << dlg->Player().CurrentTimeMs() << " run " << dlg->Player().RunMode();
        }
        return ok;
    }

    QTemporaryDir tmp;
    std::string card;
    std::unique_ptr<CSamplePlayerDlg> dlg;
    std::vector<QString> messages;
    int answer = QMessageBox::Yes;
    // The capture's save dialog and the export's folder chooser, answered by the test.
    QString saveAnswer;
    std::vector<QString> saveAsked;
    PlayerState stateDuringDialog = PlayerState::Stopped;
    QString folderAnswer;
    std::vector<QString> folderAsked;
};

}  // namespace viewer_test
