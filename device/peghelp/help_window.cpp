#include "help_window.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include <handset/process.h>
#include <handset/shell.h>

namespace peghelp {

HelpWindow::HelpWindow(const std::filesystem::path& file, const std::u16string& section)
{
    setObjectName(QStringLiteral("peghelp"));
    setFixedSize(kWindowWidth, kWindowHeight);

    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("titleBar"));
    bar->setFixedHeight(kTitleBarHeight);
    bar->setAutoFillBackground(true);
    bar->setStyleSheet(QStringLiteral("#titleBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                                      " stop:0 #3B7BDB, stop:1 #1A479A); }"
                                      "QLabel { color: white; font-weight: bold; }"
                                      "QPushButton { color: white; font-weight: bold; border: 1px solid white;"
                                      " border-radius: 3px; padding: 0px 6px; background: transparent; }"));
    title_ = new QLabel(bar);
    auto* ok = new QPushButton(QStringLiteral("ok"), bar);
    ok->setFixedHeight(18);
    ok->setFocusPolicy(Qt::NoFocus);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(6, 0, 4, 0);
    barLayout->addWidget(title_, 1);
    barLayout->addWidget(ok);

    browser_ = new QTextBrowser(this);
    browser_->setFrameShape(QFrame::NoFrame);
    browser_->setOpenLinks(false);
    browser_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Pictures and other pages named by the page are found beside it.
    browser_->setSearchPaths({QString::fromStdString(file.parent_path().string())});
    connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(browser_, 1);

    QUrl source = QUrl::fromLocalFile(QString::fromStdString(file.string()));
    if (!section.empty())
        source.setFragment(QString::fromStdU16String(section));
    browser_->setSource(source);

    title_->setText(documentTitle());
    setWindowTitle(documentTitle());
}

QString HelpWindow::documentTitle() const
{
    const QString title = browser_->documentTitle().trimmed();
    if (!title.isEmpty())
        return title;
    return browser_->source().fileName();
}

void HelpWindow::followLink(const QUrl& link)
{
    const QString scheme = link.scheme();
    if (scheme == QStringLiteral("http") || scheme == QStringLiteral("https") || scheme == QStringLiteral("mailto")) {
        const std::u16string address = link.toString().toStdU16String();
        SHELLEXECUTEINFO info{};
        info.cbSize = sizeof(info);
        info.lpVerb = u"Open";
        info.lpFile = address.c_str();
        info.nShow = SW_SHOW;
        // The page stays as it is whether or not a browser came up.
        ShellExecuteEx(&info);
        return;
    }
    browser_->setSource(browser_->source().resolved(link));
}

}  // namespace peghelp
