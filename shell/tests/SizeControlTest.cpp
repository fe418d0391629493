#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include "FrmSizeControl.h"

class SizeControlTest : public QObject {
    Q_OBJECT

private slots:
    void StartsWithPictureSizeAndBicubic() {
        TSizeCForm form(nullptr, 640, 480);
        QCOMPARE(form.edtSizeWidth->text(), QString("640"));
        QCOMPARE(form.edtSizeHeight->text(), QString("480"));
        QCOMPARE(form.UpDownWidth->Position(), 640);
        QCOMPARE(form.cbxReSampleFilter->currentText(), QString("BICUBIC (권장)"));
        QVERIFY(form.btnRatio->isChecked());
    }

    void TypingKeepsTheRatio_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("other");
        QTest::newRow("width 320 of 640x480") << "width" << "320" << "240";
        QTest::newRow("height 100 of 640x480") << "height" << "100" << "133";  // 133.33 cut
        QTest::newRow("width 0 leaves height") << "width" << "0" << "480";
        QTest::newRow("letters are not typed") << "width" << "3a2b0" << "240";
        QTest::newRow("width 1000") << "width" << "1000" << "750";
    }
    void TypingKeepsTheRatio() {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(QString, other);
        TSizeCForm form(nullptr, 640, 480);
        QLineEdit* target = edit == "width" ? form.edtSizeWidth : form.edtSizeHeight;
        QLineEdit* result = edit == "width" ? form.edtSizeHeight : form.edtSizeWidth;
        target->clear();
        QTest::keyClicks(target, typed);
        QCOMPARE(result->text(), other);
    }

    void WithoutRatioNothingFollows() {
        TSizeCForm form(nullptr, 640, 480);
        form.btnRatio->setChecked(false);
        form.edtSizeWidth->clear();
        QTest::keyClicks(form.edtSizeWidth, "320");
        QCOMPARE(form.edtSizeHeight->text(), QString("480"));
    }

    void SpinClickWritesPlainNumberAndFollows() {
        TSizeCForm form(nullptr, 1600, 1200);
        form.UpDownWidth->ClickUp();
        QCOMPARE(form.edtSizeWidth->text(), QString("1601"));
        QCOMPARE(form.edtSizeHeight->text(), QString("1200"));  // 1200 / (1600/1601) = 1200.75
        for (int i = 0; i < 5; ++i) form.UpDownHeight->ClickDown();
        QCOMPARE(form.edtSizeHeight->text(), QString("1195"));
        QCOMPARE(form.edtSizeWidth->text(), QString("1593"));  // 1600 / (1200/1195) = 1593.33
    }

    void ReadSizeAcceptsSeparators() {
        TSizeCForm form(nullptr, 640, 480);
        form.edtSizeWidth->setText("1,024");
        form.edtSizeHeight->setText(" 768 ");
        int w = 0, h = 0;
        QString error;
        QVERIFY(form.ReadSize(&w, &h, &error));
        QCOMPARE(w, 1024);
        QCOMPARE(h, 768);
        form.edtSizeHeight->setText("");
        QVERIFY(!form.ReadSize(&w, &h, &error));
        QVERIFY(!error.isEmpty());
    }

    void MethodsOfTheList() {
        QCOMPARE(TSizeCForm::MethodForIndex(0), 0);
        QCOMPARE(TSizeCForm::MethodForIndex(1), 1);
        QCOMPARE(TSizeCForm::MethodForIndex(2), 2);
        QCOMPARE(TSizeCForm::MethodForIndex(3), 4);
    }
};

QTEST_MAIN(SizeControlTest)
#include "SizeControlTest.moc"
