// Message boxes as a person sees them in a program with forms: a modal box
// on the phone's screen (240 x 320) over the form it belongs to, with the
// caption in the navigation bar, the icon, the text wrapped to the box's
// width and one button for each answer the type offers. The window layer
// installs it as the message boxes' presenter, so scripted answers still
// come first (handset/msgbox.h).
#include <QApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <handset/log.h>

#include "remote_internal.h"
#include "ui_internal.h"

namespace handset::ui {
namespace {

QStyle::StandardPixmap iconOf(UINT type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return QStyle::SP_MessageBoxCritical;
    case MB_ICONQUESTION: return QStyle::SP_MessageBoxQuestion;
    case MB_ICONEXCLAMATION: return QStyle::SP_MessageBoxWarning;
    case MB_ICONASTERISK: return QStyle::SP_MessageBoxInformation;
    default: return QStyle::SP_CustomBase;  // no icon
    }
}

// The form the box belongs to: the owner's, else the form in front.
QWidget* formUnder(HWND owner)
{
    if (Form* form = formOf(CWnd::FromHandle(owner)))
        return form;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return nullptr;
}

class MessageBoxWindow : public QWidget {
public:
    MessageBoxWindow(QWidget* over, std::u16string_view text, std::u16string_view caption, UINT type)
        : m_nobody(messageBoxNobodysAnswer(type))
    {
        setObjectName(QStringLiteral("msgbox"));
        setWindowTitle(qstr(caption));
        setFixedSize(kScreenWidth, kScreenHeight);
        setFont(dialogFont());
        if (over)
            m_under = over->grab();

        auto* nav = new QLabel(qstr(caption), this);
        nav->setObjectName(QStringLiteral("navtitle"));
        nav->setGeometry(0, 0, kScreenWidth, kNavBarHeight);
        nav->setIndent(6);
        nav->setAutoFillBackground(true);
        QPalette navPalette = nav->palette();
        navPalette.setColor(QPalette::Window, QColor(0x10, 0x3C, 0x8C));
        navPalette.setColor(QPalette::WindowText, Qt::white);
        nav->setPalette(navPalette);
        QFont titleFont = dialogFont();
        titleFont.setPixelSize(13);
        titleFont.setBold(true);
        nav->setFont(titleFont);

        auto* panel = new QWidget(this);
        panel->setObjectName(QStringLiteral("panel"));
        panel->setAutoFillBackground(true);
        QPalette panelPalette = panel->palette();
        panelPalette.setColor(QPalette::Window, Qt::white);
        panel->setPalette(panelPalette);
        auto* column = new QVBoxLayout(panel);
        column->setContentsMargins(10, 10, 10, 10);
        column->setSpacing(10);
        auto* row = new QHBoxLayout;
        row->setSpacing(8);
        if (const QStyle::StandardPixmap icon = iconOf(type); icon != QStyle::SP_CustomBase) {
            auto* picture = new QLabel(panel);
            picture->setPixmap(style()->standardIcon(icon).pixmap(32, 32));
            picture->setAlignment(Qt::AlignTop);
            row->addWidget(picture, 0, Qt::AlignTop);
        }
        auto* message = new QLabel(qstr(text), panel);
        message->setTextFormat(Qt::PlainText);
        message->setWordWrap(true);
        message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        row->addWidget(message, 1);
        column->addLayout(row);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        const int defaultButton = messageBoxDefaultButton(type);
        for (int answer : messageBoxButtons(type)) {
            auto* button = new QPushButton(QString::fromUtf8(messageBoxAnswerName(answer).data(),
                                                             static_cast<qsizetype>(messageBoxAnswerName(answer).size())),
                                           panel);
            // The answer is the button's id, as the phone's box numbers its buttons.
            button->setObjectName(QString::number(answer));
            button->setProperty("controlId", answer);
            button->setMinimumWidth(56);
            button->setAutoDefault(false);
            connect(button, &QPushButton::clicked, this, [this, answer] { end(answer); });
            buttons->addWidget(button);
            if (answer == defaultButton)
                m_default = button;
        }
        buttons->addStretch();
        column->addLayout(buttons);
        const int width = kScreenWidth - 20;
        panel->setFixedWidth(width);
        const int height = std::min(panel->heightForWidth(width) > 0 ? panel->heightForWidth(width)
                                                                      : panel->sizeHint().height(),
                                    kScreenHeight - kNavBarHeight - kMenuBarHeight - 8);
        panel->setGeometry(10, kNavBarHeight + (kScreenHeight - kNavBarHeight - kMenuBarHeight - height) / 2, width,
                           height);
    }

    // Shows the box over its form and waits for a button; the answer.
    int exec()
    {
        setWindowModality(Qt::ApplicationModal);
        show();
        activateWindow();
        if (m_default)
            m_default->setFocus(Qt::OtherFocusReason);
        window::remote::noteForeground();
        // Scripts that start a program only to see it come up have nobody answer.
        if (std::getenv("HANDSET_UI_CLOSE_WHEN_SHOWN"))
            QTimer::singleShot(0, this, [this] { end(m_nobody); });
        QEventLoop loop;
        m_loop = &loop;
        runModalLoop(loop, m_ended);
        m_loop = nullptr;
        hide();
        return m_answer;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        // The form it belongs to shows dimmed around the box.
        QPainter painter(this);
        if (!m_under.isNull())
            painter.drawPixmap(0, 0, m_under);
        painter.fillRect(rect(), QColor(0, 0, 0, 90));
        painter.setPen(QColor(0x10, 0x3C, 0x8C));
        for (QWidget* panel : findChildren<QWidget*>(QStringLiteral("panel"), Qt::FindDirectChildrenOnly))
            painter.drawRect(panel->geometry().adjusted(-1, -1, 0, 0));
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            return end(m_nobody);
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_default)
            return m_default->click();
        QWidget::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent* event) override
    {
        // The window manager's close is nobody's answer.
        event->ignore();
        QTimer::singleShot(0, this, [this] { end(m_nobody); });
    }

private:
    void end(int answer)
    {
        if (m_ended)
            return;
        m_answer = answer;
        m_ended = true;
        if (m_loop)
            m_loop->quit();
    }

    QPixmap m_under;
    QPushButton* m_default = nullptr;
    int m_nobody = IDCANCEL;
    int m_answer = 0;
    bool m_ended = false;
    QEventLoop* m_loop = nullptr;
};

int present(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type)
{
    // Widgets live on the application's thread; a box asked for elsewhere
    // is answered by the next rule.
    if (!qApp || QThread::currentThread() != qApp->thread() || messageBoxButtons(type).empty())
        return 0;
    MessageBoxWindow box(formUnder(owner), text, caption, type);
    return box.exec();
}

}  // namespace

void presentMessageBoxes()
{
    setMessageBoxPresenter(&present);
}

}  // namespace handset::ui
