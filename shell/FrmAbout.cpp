#include "FrmAbout.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "uFunctions.h"

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutForm");
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(parent ? parent->window()->windowTitle() : QString());
    setFixedSize(396, 285);
    auto* layout = new QVBoxLayout(this);
    Memo = new QPlainTextEdit(this);
    Memo->setObjectName("Memo");
    Memo->setReadOnly(true);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setPlainText(AboutText());
    layout->addWidget(Memo, 1);
    btnOK = new QPushButton("확  인", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(btnOK, 0, Qt::AlignHCenter);
}

QString TAboutForm::AboutText() {
    return QString(
               "\n"
               "              Kivo Image Editor 공개용(Freeware)\n"
               "\n"
               "이 프로그램은 개인 사용자에게 무료로 공개된 프로그램입니다. 개인은 누구나 "
               "제한 없이 설치하여 사용할 수 있으며, 원본 그대로라면 자유롭게 배포할 수 "
               "있습니다. 다만 프로그램을 변경하거나 판매하는 것, 그리고 회사·관공서·학교 "
               "등 단체에서 업무용으로 사용하는 것은 허락되지 않습니다. 이 프로그램을 "
               "사용하여 생긴 결과에 대하여 제작사는 책임을 지지 않습니다.\n"
               "\n"
               "문의 : %1\n"
               "\n"
               "2004. 02. 10. Kivo Image Editor ver 1.07\n"
               "2004. 01. 19. Kivo Image Editor ver 1.06\n"
               "2004. 01. 05. Kivo Image Editor ver 1.05\n"
               "2003. 12. 23. Kivo Image Editor ver 1.04\n"
               "2003. 12. 04. Kivo Image Editor ver 1.03\n"
               "2003. 11. 16. Kivo Image Editor ver 1.02\n"
               "2003. 10. 29. Kivo Image Editor ver 1.01\n"
               "2003. 10. 08. Kivo Image Editor ver 1.00\n")
        .arg(WebServerBase());
}
