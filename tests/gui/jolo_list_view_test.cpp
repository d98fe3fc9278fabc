// The result list: sorting by header clicks with the Chinese collation, the arrow the header
// paints, column limits, the background origin and the column-resize events.

#include "ui/jolo_list_view.h"

#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <string>
#include <vector>

#include "core/result_table.h"
#include "test_support.h"
#include "ui/qt_text.h"

using testsupport::G;

namespace {

const char* const kCaptions[] = {"公司名称", "网址", "电子邮件", "电话",
                                 "传真",     "地址", "邮编",     ""};

struct TFixture {
  TFixture() {
    list.SetColumnCount(8);
    for (int c = 0; c < 8; ++c) {
      list.SetColumnCaption(c, QString::fromUtf8(kCaptions[c]));
      list.SetColumnWidth(c, c == 7 ? 0 : 90);
    }
    list.SetResultTable(&table);
    list.resize(800, 300);
  }
  void Add(const char* name, const char* phone) {
    table.AppendRow({G(name), "http://x.cn/", "", G(phone), "", "", "", ""});
  }
  QStringList Column(int column) const {
    QStringList texts;
    for (int r = 0; r < list.model()->rowCount(); ++r)
      texts << list.model()->index(r, column).data().toString();
    return texts;
  }
  void ClickHeader(int column) {
    TJoloHeader* header = list.Header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  }
  // The colour at a point of the arrow of `column`, as painted.
  QColor ArrowPixel(int column, bool atTop, int dx) {
    TJoloHeader* header = list.Header();
    const QImage image = header->grab().toImage();
    const QRect rect(header->sectionViewportPosition(column), 0, header->sectionSize(column),
                     header->height());
    const TJoloHeader::TArrow a = header->ArrowFor(column, rect);
    return image.pixelColor(a.X + dx, atTop ? a.Top : a.Bottom);
  }

  TResultTable table;
  TJoloListView list;
};

}  // namespace

class JoloListViewTest : public QObject {
  Q_OBJECT

 private slots:
  void headerClicksSortAndMoveTheArrow() {
    TFixture f;
    f.Add("王府井百货", "010-3");
    f.Add("佟记贸易", "010-1");
    f.Add("北京机械厂", "010-2");
    QPalette pal = f.list.Header()->palette();
    pal.setColor(QPalette::Light, Qt::red);
    pal.setColor(QPalette::Dark, Qt::blue);
    f.list.Header()->setPalette(pal);
    f.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.list));

    // Fresh: a downward arrow on the first column, rows as added.
    QCOMPARE(f.list.SortColumn(), 0);
    QVERIFY(!f.list.SortAscending());
    QCOMPARE(f.Column(0), QStringList({"王府井百货", "佟记贸易", "北京机械厂"}));
    QCOMPARE(f.ArrowPixel(0, true, 1), QColor(Qt::blue));   // base on top
    QVERIFY(f.ArrowPixel(0, false, 1) != QColor(Qt::red));  // nothing at the bottom left

    // First click on the same column: ascending, by pinyin (tong < wang), which the GBK
    // byte order would not give (王 CDF5 comes before 佟 D9DA).
    f.ClickHeader(0);
    QVERIFY(f.list.SortAscending());
    QCOMPARE(f.Column(0), QStringList({"北京机械厂", "佟记贸易", "王府井百货"}));
    QCOMPARE(f.ArrowPixel(0, false, 1), QColor(Qt::red));  // base at the bottom
    QVERIFY(f.ArrowPixel(0, true, 1) != QColor(Qt::blue));

    f.ClickHeader(0);
    QVERIFY(!f.list.SortAscending());
    QCOMPARE(f.Column(0), QStringList({"王府井百货", "佟记贸易", "北京机械厂"}));

    // A new column keeps the direction.
    f.ClickHeader(3);
    QCOMPARE(f.list.SortColumn(), 3);
    QVERIFY(!f.list.SortAscending());
    QCOMPARE(f.Column(3), QStringList({"010-3", "010-2", "010-1"}));
    QCOMPARE(f.ArrowPixel(3, true, 1), QColor(Qt::blue));

    // Rows added later stay where they were appended until the next click.
    f.Add("安徽公司", "010-9");
    QCOMPARE(f.Column(3).last(), QStringLiteral("010-9"));
    f.ClickHeader(3);
    QVERIFY(f.list.SortAscending());
    QCOMPARE(f.Column(3), QStringList({"010-1", "010-2", "010-3", "010-9"}));
  }

  void arrowOnlyOnceSortedAndFilterHidesWhatDoesNotMatch() {
    TFixture f;
    f.Add("北京机械厂", "010-2");
    f.Add("上海Acme公司", "021-1");
    QPalette pal = f.list.Header()->palette();
    pal.setColor(QPalette::Dark, Qt::blue);
    f.list.Header()->setPalette(pal);
    f.list.SetArrowOnlyWhenSorted(true);
    f.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.list));
    QVERIFY(f.ArrowPixel(0, true, 1) != QColor(Qt::blue));
    f.ClickHeader(0);
    f.ClickHeader(0);  // descending again: the arrow is the fresh list's one, now drawn
    QCOMPARE(f.ArrowPixel(0, true, 1), QColor(Qt::blue));

    // Any cell, any letter case; rows added later and rows after a sort meet it too.
    f.list.SetFilterText(QStringLiteral("acme"));
    f.Add("广州ACME贸易", "020-1");
    f.Add("天津重工", "022-1");
    f.ClickHeader(0);
    QStringList shown;
    for (std::size_t r = 0; r < f.table.RowCount(); ++r)
      if (!f.list.isRowHidden(static_cast<int>(r))) shown << QFromGbk(f.table.Cell(r, 0));
    QCOMPARE(shown, QStringList({"广州ACME贸易", "上海Acme公司"}));
    // A selection over hidden rows takes only the shown ones.
    f.list.selectAll();
    QCOMPARE(f.list.SelectedRows().size(), 2u);
    f.list.SetFilterText(QString());
    QCOMPARE(f.list.isRowHidden(0) || f.list.isRowHidden(3), false);
  }

  void sortingKeepsTheSelectedRecordSelectedAndInView() {
    TFixture f;
    for (int i = 0; i < 120; ++i) {
      const std::string phone = "010-" + std::to_string(1000 + i);
      f.table.AppendRow({G("公司") + std::to_string(i), "", "", phone, "", "", "", ""});
    }
    f.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.list));
    auto selectedPhone = [&] {
      return f.list.model()->index(f.list.SelectedRow(), 3).data().toString();
    };
    auto inView = [&] {
      const QRect cell = f.list.visualRect(f.list.model()->index(f.list.SelectedRow(), 0));
      return f.list.viewport()->rect().contains(cell.center());
    };

    // Row 2 of the rows as added lands near the end when sorted descending by telephone.
    f.list.SelectRow(2);
    f.ClickHeader(3);
    QCOMPARE(f.list.SelectedRow(), 117);
    QCOMPARE(selectedPhone(), QStringLiteral("010-1002"));
    QVERIFY(inView());
    QCOMPARE(f.list.selectionModel()->currentIndex().row(), 117);

    f.ClickHeader(3);  // ascending: back near the top
    QCOMPARE(f.list.SelectedRow(), 2);
    QCOMPARE(selectedPhone(), QStringLiteral("010-1002"));
    QVERIFY(inView());

    // Nothing selected stays nothing selected.
    f.list.SelectRow(-1);
    f.ClickHeader(0);
    QCOMPARE(f.list.SelectedRow(), -1);
  }

  void freshListFirstClickOnTelephoneSortsDescending() {
    TFixture f;
    f.Add("甲", "021-62345678");
    f.Add("乙", "010-88888888");
    f.Add("丙", "0755-2222");
    f.list.show();
    f.ClickHeader(3);
    QCOMPARE(f.list.SortColumn(), 3);
    QVERIFY(!f.list.SortAscending());
    QCOMPARE(f.Column(3), QStringList({"0755-2222", "021-62345678", "010-88888888"}));
  }

  void emptyListSortsAndOnlyTheArrowChanges() {
    TFixture f;
    f.list.show();
    f.ClickHeader(0);
    QVERIFY(f.list.SortAscending());
    QCOMPARE(f.list.model()->rowCount(), 0);
    QCOMPARE(f.list.TilingOrigin(), QPoint(0, 0));
  }

  void collationIsChineseAndCaseSensitive() {
    TFixture f;
    QVERIFY(f.list.CompareTexts(G("佟"), G("王")) < 0);
    QVERIFY(f.list.CompareTexts(G("北京"), G("上海")) < 0);
    QVERIFY(f.list.CompareTexts("abc", "ABC") != 0);
    QCOMPARE(f.list.CompareTexts(G("公司"), G("公司")), 0);
  }

  void columnLimitsAndSelection() {
    TFixture f;
    f.list.SetColumnMaxWidth(7, 1);
    f.list.SetColumnWidth(7, 60);
    QCOMPARE(f.list.ColumnWidth(7), 1);
    f.list.SetColumnMaxWidth(2, 0);
    f.list.SetColumnWidth(2, 300);
    QCOMPARE(f.list.ColumnWidth(2), 300);

    f.Add("甲", "1");
    f.Add("乙", "2");
    QCOMPARE(f.list.SelectedRow(), -1);
    f.list.SelectRow(1);
    QCOMPARE(f.list.SelectedRow(), 1);
    QVERIFY(!(f.list.model()->flags(f.list.model()->index(0, 0)) & Qt::ItemIsEditable));
    f.table.SetCell(1, kColCompanyName, G("丁"));
    QCOMPARE(f.Column(0).last(), QStringLiteral("丁"));
  }

  void backgroundOriginFollowsTheFirstRow() {
    TFixture f;
    for (int i = 0; i < 200; ++i) f.Add("公司", "1");
    f.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.list));
    QCOMPARE(f.list.TilingOrigin(), QPoint(0, -2));
    f.list.verticalScrollBar()->setValue(10);
    QVERIFY(f.list.TilingOrigin().y() < -2);
    QPixmap tile(16, 16);
    tile.fill(Qt::green);
    f.list.SetBackPicture(tile);
    const QImage image = f.list.viewport()->grab().toImage();
    // Past the last column the rows leave the picture uncovered.
    QCOMPARE(image.pixelColor(image.width() - 3, image.height() - 3), QColor(Qt::green));
  }

  void dividerDragsReportTheColumn() {
    TFixture f;
    f.list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.list));
    std::vector<std::tuple<char, int, int>> events;
    f.list.OnBeginColumnResize = [&](TJoloListView* sender, int column, int width) {
      QCOMPARE(sender, &f.list);
      events.emplace_back('b', column, width);
    };
    f.list.OnColumnResize = [&](TJoloListView*, int column, int width) {
      events.emplace_back('r', column, width);
    };
    f.list.OnEndColumnResize = [&](TJoloListView*, int column, int width) {
      events.emplace_back('e', column, width);
    };
    QWidget* header = f.list.Header()->viewport();
    const int y = f.list.Header()->height() / 2;
    const int divider = f.list.Header()->sectionViewportPosition(1) + 90 - 1;
    QTest::mousePress(header, Qt::LeftButton, {}, QPoint(divider, y));
    QMouseEvent move(QEvent::MouseMove, QPointF(divider + 30, y),
                     header->mapToGlobal(QPointF(divider + 30, y)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(header, &move);
    QTest::mouseRelease(header, Qt::LeftButton, {}, QPoint(divider + 30, y));
    QVERIFY(events.size() >= 3);
    QCOMPARE(events.front(), std::make_tuple('b', 1, 90));
    QCOMPARE(std::get<0>(events[1]), 'r');
    QCOMPARE(std::get<1>(events[1]), 1);
    QCOMPARE(events.back(), std::make_tuple('e', 1, f.list.ColumnWidth(1)));
    QVERIFY(f.list.ColumnWidth(1) > 100);

    // The index rule: the item itself, else the first column with that caption, else -1.
    f.list.SetColumnCaption(4, QStringLiteral("电话"));
    QCOMPARE(f.list.ResizeColumnIndex(4, QStringLiteral("电话")), 4);
    QCOMPARE(f.list.ResizeColumnIndex(5, QStringLiteral("电话")), 3);
    QCOMPARE(f.list.ResizeColumnIndex(5, QStringLiteral("无此列")), -1);
  }
};

QTEST_MAIN(JoloListViewTest)
#include "jolo_list_view_test.moc"
