// CExpertInfo: the modal "Expert Profile" dialog a zone view opens for one
// member of its online experts list. It shows the member's user name,
// nickname, credit, expert area, picture and zone-rank badge, with an OK
// button only.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>

class QLabel;
class QPushButton;

namespace quillora::ui {

// What the zone view hands to the dialog, taken from one zone experts record.
struct ExpertProfile {
    QString userName;
    QString nickname;
    int headImage = 0;
    QString credit;
    int zoneRank = 0;
    int expertArea = 0;      // a column ID
    int customFlag = 0;      // non-zero: the member uses a custom picture
    QString customImageName; // the user ID: the cached picture is <name>.bmp
};

// The texts and pictures the dialog shows, worked out without a window.
struct ExpertProfileView {
    QString expertArea;     // "Software - Operating Systems - Windows"; empty outside 1..41
    QString imagePath;      // the cached custom picture when it is to be tried, else empty
    int builtInPicture = 0; // 1..24, used when no custom picture loads
    int badge = 0;          // 1..10, 0 for none
};

// `faceDirectory` is the custom picture cache folder. The custom picture is
// only looked up there: the dialog never downloads.
ExpertProfileView expertProfileView(const ExpertProfile &profile, const QString &faceDirectory);

class CExpertInfo : public QDialog {
    Q_OBJECT
  public:
    CExpertInfo(const ExpertProfile &profile, const QString &faceDirectory, QWidget *parent = nullptr);

    static QString noteText();

    QLabel *userNameLabel() const { return m_userName; }
    QLabel *nicknameLabel() const { return m_nickname; }
    QLabel *creditLabel() const { return m_credit; }
    QLabel *expertAreaLabel() const { return m_area; }
    QLabel *imageLabel() const { return m_image; }
    QLabel *rankLabel() const { return m_rank; }
    QPushButton *okButton() const { return m_ok; }

  private:
    QLabel *m_userName = nullptr;
    QLabel *m_nickname = nullptr;
    QLabel *m_credit = nullptr;
    QLabel *m_area = nullptr;
    QLabel *m_image = nullptr;
    QLabel *m_rank = nullptr;
    QPushButton *m_ok = nullptr;
};

} // namespace quillora::ui
