// What `handset screen` and `handset input` see of a program's widgets: each
// control by its Qt class (or its handset_kind), its rows from the model, its
// state, its text quoted; and inputs that reach the widgets as a person's do.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include <handset/ui.h>

#include "../remote_internal.h"
#include "test_device.h"

namespace {

using handset::window::remote::Request;

// Answers one request on this (the window) thread, running the event loop
// until the answer is there (at most half a minute: a guard against a hung
// test).
std::string ask(std::vector<std::string> words)
{
    auto request = std::make_shared<Request>(std::move(words));
    std::future<std::string> answer = request->future();
    handset::window::remote::answer(request);
    for (int i = 0; i < 30000 && answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
        handset::pumpMessages();
    }
    return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready ? answer.get() : "<no answer>";
}

class UiRemoteTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        handset::ui::ensureApplication();
        window_ = std::make_unique<QWidget>();
        QWidget& window = *window_;
        window.setWindowTitle(QStringLiteral("Widgets"));
        window.setFixedSize(240, 320);
        auto* check = new QCheckBox(QStringLiteral("&Vibrate"), &window);
        check->setProperty("controlId", 1015);
        check->setChecked(true);
        check->setGeometry(4, 4, 100, 20);
        auto* tree = new QTreeWidget(&window);
        tree->setGeometry(4, 30, 200, 80);
        tree->setProperty("controlId", 1040);
        for (const char* text : {"Anna \"VIP\"", "Line one\nline two"})
            tree->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromUtf8(text), QStringLiteral("hidden column")}));
        tree->setCurrentItem(tree->topLevelItem(1));
        list_ = new QListWidget(&window);
        list_->setProperty("controlId", 1022);
        list_->setGeometry(4, 120, 200, 80);
        list_->addItems({QStringLiteral("At 08:00"), QStringLiteral("At 09:00")});
        auto* drawn = new QWidget(&window);
        drawn->setProperty("handset_kind", QStringLiteral("picture"));
        drawn->setGeometry(210, 4, 20, 20);
        auto* off = new QPushButton(QStringLiteral("Remove"), &window);
        off->setEnabled(false);
        off->setGeometry(4, 210, 80, 24);
        edit_ = new QLineEdit(QStringLiteral("C:\\tones"), &window);
        edit_->setGeometry(4, 240, 200, 24);
        window.show();
        edit_->setFocus();
    }

    std::unique_ptr<QWidget> window_;
    QListWidget* list_ = nullptr;
    QLineEdit* edit_ = nullptr;
};

TEST_F(UiRemoteTest, DescribesControlsByKindWithRowsStatesAndQuotedText)
{
    const std::string shown = ask({"screen"});
    EXPECT_EQ(0u, shown.find("ok\nwindow \"Widgets\" ")) << shown;
    EXPECT_NE(std::string::npos, shown.find("\n1015 check 4,4,100,20 checked \"Vibrate\"\n")) << shown;
    // A tree is a list view; its rows are column 0, line breaks and quotes escaped.
    EXPECT_NE(std::string::npos,
              shown.find("\n1040 listview 4,30,200,80 - \"\"\n  item \"Anna \\\"VIP\\\"\"\n"
                         "  item* \"Line one\\nline two\"\n"))
        << shown;
    EXPECT_NE(std::string::npos, shown.find("\n- picture 210,4,20,20 - \"\"\n")) << shown;
    EXPECT_NE(std::string::npos, shown.find("\n- button 4,210,80,24 disabled \"Remove\"\n")) << shown;
    EXPECT_NE(std::string::npos, shown.find("\n- edit 4,240,200,24 focused \"C:\\\\tones\"\n")) << shown;
    EXPECT_EQ(std::string::npos, shown.find("hidden column")) << shown;
}

TEST_F(UiRemoteTest, InputsReachTheWidgetsAsAPersonsDo)
{
    int changes = 0;
    QObject::connect(list_, &QListWidget::itemSelectionChanged, [&changes] { ++changes; });
    EXPECT_EQ("ok\n", ask({"choose", "1022", "At 09:00"}));
    EXPECT_EQ(1, changes);
    EXPECT_EQ(1, list_->currentRow());
    // The tap on the row took the focus; a tap on the edit takes it back.
    EXPECT_EQ("ok\n", ask({"tap", "100", "250"}));
    EXPECT_TRUE(edit_->hasFocus());
    edit_->end(false);
    EXPECT_EQ("ok\n", ask({"text", "\\Bell"}));
    EXPECT_EQ(QStringLiteral("C:\\tones\\Bell"), edit_->text());

    EXPECT_EQ("error the list 1022 has no row \"At 10:00\"\n", ask({"choose", "1022", "At 10:00"}));
    EXPECT_EQ("error there is no control 1099 on the screen\n", ask({"tap-id", "1099"}));
    EXPECT_EQ("error nothing on the screen shows \"Nowhere\"\n", ask({"tap-text", "Nowhere"}));
    EXPECT_EQ("error the point 240,5 is outside the window\n", ask({"tap", "240", "5"}));
}

}  // namespace
