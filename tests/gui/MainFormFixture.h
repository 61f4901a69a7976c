#pragma once

// The main window with every modal service answered by the test, for the tests of the window's
// features.

#include "GuiTestSupport.h"
#include "ui/Main/MainForm.h"
#include "ui/TextView/TextView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace skaldrun::test {

class MainFormFixture : public GuiTestBase {
protected:
    void OpenWindow() {
        options = {};
        dialogs = {};
        shell.requests.clear();
        messages = {};
        errors = {};

        NewFolder();
        form = std::make_unique<ui::TMainForm>(
            options, ui::TMainForm::Dependencies{errors, messages, dialogs, shell});
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void CloseWindow() {
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget* w : windows)
            qWarning() << "left behind:" << w;
        QVERIFY(windows.isEmpty());
    }

    template <typename T>
    T* Child(const char* name) const {
        return GuiTestBase::Child<T>(form.get(), name);
    }
    ui::TextView* SourceView() const { return GuiTestBase::SourceView(form.get()); }
    ui::TextView* ListView() const { return GuiTestBase::ListView(form.get()); }
    QComboBox* ViewSelector() const { return GuiTestBase::ViewSelector(form.get()); }
    QLabel* StatusText() const { return GuiTestBase::StatusText(form.get()); }
    QToolButton* OpenButton() const { return GuiTestBase::OpenButton(form.get()); }
    QToolButton* SaveButton() const { return GuiTestBase::SaveButton(form.get()); }
    QToolButton* CopyButton() const { return GuiTestBase::CopyButton(form.get()); }
    void Open(const QString& path) {
        dialogs.openAnswers.push_back(path);
        QTest::mouseClick(OpenButton(), Qt::LeftButton);
    }
    bool ExportEnabled() const {
        const bool save = SaveButton()->isEnabled();
        const bool copy = CopyButton()->isEnabled();
        const bool menu = Child<QAction>("Copy1")->isEnabled();
        if (save != copy || copy != menu)
            qFatal("export commands disagree");
        return save;
    }

    std::unique_ptr<ui::TMainForm> form;
};

} // namespace skaldrun::test
