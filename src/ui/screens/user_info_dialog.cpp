#include "user_info_dialog.h"

#include "head_image_pictures.h"
#include "ui_resources.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillora::ui {

QPixmap rankPixmap(int rank)
{
    if (rank < 1 || rank > mail::kRankPictureCount)
        return {};
    return QPixmap(QStringLiteral(":/quillora/images/ranks/rank-%1.png").arg(rank, 2, 10, QLatin1Char('0')));
}

UserInfoDialog::UserInfoDialog(const service::SiteAddress &site, platform::MessageBoxes &messages,
                               const QString &userDocument, int userID, QWidget *parent)
    : QDialog(parent)
{
    initResources();
    setWindowTitle(mail::CUserInfoDlg::captionText());
    setWindowIcon(programIcon());

    // Upper part: label and value pairs, the head picture in its own row.
    auto *member = new QGroupBox(this);
    auto *grid = new QGridLayout(member);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(6);
    const auto valueLabel = [this](const QString &name) {
        auto *label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        label->setAccessibleName(name);
        return label;
    };
    struct Row {
        const char *caption;
        const char *name;
    };
    const Row rows[] = {{"Username:", "Username"},
                        {"Nickname:", "Nickname"},
                        {"Credit:", "Credit"},
                        {"Available Points:", "Available Points"},
                        {"Question History: ", "Question History"},
                        {"Answer History:", "Answer History"}};
    m_head = new QLabel(this);
    m_head->setFixedSize(32, 32);
    m_head->setAccessibleName(QStringLiteral("Head Image"));
    int gridRow = 0;
    for (int i = 0; i < mail::kProfileLineCount; ++i) {
        m_lines[size_t(i)] = valueLabel(QString::fromLatin1(rows[i].name));
        grid->addWidget(new QLabel(QString::fromLatin1(rows[i].caption), this), gridRow, 0);
        grid->addWidget(m_lines[size_t(i)], gridRow, 1);
        ++gridRow;
        if (i == 1) { // the picture follows the nickname
            grid->addWidget(new QLabel(QStringLiteral("Head Image:"), this), gridRow, 0);
            grid->addWidget(m_head, gridRow, 1, Qt::AlignLeft);
            ++gridRow;
        }
    }
    grid->setColumnStretch(1, 1);

    m_table = new QTableWidget(mail::kScoreRows, 3, this);
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Zones"), QStringLiteral("Scores"), QStringLiteral("Member Rank")});
    m_table->setAccessibleName(QStringLiteral("Scores and member ranks"));
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    // Display only: the keyboard goes straight to "OK".
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->setIconSize(QSize(64, 12));
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
    m_table->horizontalHeader()->resizeSection(1, 80);
    m_table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Fixed);
    m_table->horizontalHeader()->resizeSection(2, 100);
    m_table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int rowHeight = m_table->fontMetrics().height() + 8;
    m_table->verticalHeader()->setDefaultSectionSize(rowHeight);
    m_table->setFixedHeight(m_table->horizontalHeader()->sizeHint().height() + rowHeight * mail::kScoreRows +
                            2 * m_table->frameWidth());
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);
    layout->addWidget(member);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    setMinimumWidth(400);
    setFixedHeight(sizeHint().height());

    m_rules = std::make_unique<mail::CUserInfoDlg>(site, *this, messages, userDocument, userID);
    m_rules->onInitDialog();
}

UserInfoDialog::~UserInfoDialog() = default;

void UserInfoDialog::setProfileLine(mail::ProfileLine line, const QString &text)
{
    m_lines[size_t(line)]->setText(text);
}

void UserInfoDialog::setHeadPicture(int picture)
{
    m_head->setPixmap(picture > 0 ? builtInHeadPixmap(picture) : QPixmap());
}

void UserInfoDialog::setScoreRow(int row, const QString &zone, const QString &score, int rankPicture)
{
    if (row < 0 || row >= m_table->rowCount())
        return;
    m_table->setItem(row, 0, new QTableWidgetItem(zone));
    m_table->setItem(row, 1, new QTableWidgetItem(score));
    auto *rank = new QTableWidgetItem;
    const QPixmap picture = rankPixmap(rankPicture);
    if (!picture.isNull()) {
        rank->setData(Qt::DecorationRole, picture);
        rank->setToolTip(QStringLiteral("Rank %1").arg(rankPicture));
    }
    m_table->setItem(row, 2, rank);
}

void execUserInfoDialog(const service::SiteAddress &site, platform::MessageBoxes &messages, const QString &userDocument,
                        int userID, QWidget *parent)
{
    UserInfoDialog dialog(site, messages, userDocument, userID, parent);
    dialog.exec();
}

} // namespace quillora::ui
