// The species choice in the real window on the demo reference: the product tree, a group page
// and the results page narrowed to one species with the notice of what they leave out, "все"
// giving back exactly what was shown before, the choice kept across a restart and refreshed
// when the structured data changes.
#include "reading/readingfixture.h"

#include "update/structuredchangedevent.h"

#include <QComboBox>
#include <QLabel>
#include <QSet>

namespace {

constexpr qint64 kDog = 1; // data/demo/animals.tsv

QSet<qint64> idsOf(const QString &path, const QString &sql)
{
    Database db;
    db.open(path, schema::databasePassword());
    Statement st = db.prepare(sql);
    QSet<qint64> ids;
    while (st.step())
        ids.insert(st.int64(0));
    return ids;
}

// A dose row counts once a strength it is given with is there (a row without one is never shown).
QSet<qint64> withRowsFor(const QString &path, qint64 species)
{
    const QString only = species ? QStringLiteral(" AND species_id = %1").arg(species) : QString();
    return idsOf(
        path, QStringLiteral("SELECT item_id FROM item_doses d WHERE EXISTS (SELECT 1 FROM item_strengths s "
                             "WHERE s.item_id = d.item_id AND (d.substance IS NULL OR s.substance = "
                             "d.substance))%1 UNION SELECT item_id FROM item_withdrawals WHERE 1%1")
                  .arg(only));
}

// Every node of the tree with its id and whether it shows, each letter opened first.
QStringList dump(QTreeWidget *tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem *, int)> walk = [&](QTreeWidgetItem *item, int depth) {
        if (item->childCount() == 0 && item->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator) {
            item->setExpanded(true);
            item->setExpanded(false);
        }
        out << QStringLiteral("%1%2 %3%4")
                   .arg(QString(depth * 2, QLatin1Char(' ')), item->text(0))
                   .arg(item->data(0, Qt::UserRole).toLongLong())
                   .arg(item->isHidden() ? QStringLiteral(" hidden") : QString());
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}

// The products the tree shows (under letters that show), each list apart: "root/id".
QSet<QString> shownProducts(QTreeWidget *tree)
{
    dump(tree); // opens every letter
    QSet<QString> shown;
    for (int r = 0; r < tree->topLevelItemCount(); ++r) {
        QTreeWidgetItem *root = tree->topLevelItem(r);
        for (int l = 0; l < root->childCount(); ++l) {
            QTreeWidgetItem *letter = root->child(l);
            int products = 0;
            for (int p = 0; p < letter->childCount(); ++p) {
                if (!letter->child(p)->isHidden()) {
                    shown << QStringLiteral("%1/%2").arg(r).arg(
                        letter->child(p)->data(0, Qt::UserRole).toLongLong());
                    ++products;
                }
            }
            if (letter->isHidden() != (products == 0))
                return {QStringLiteral("letter %1 shown without products, or hidden with some")
                            .arg(letter->text(0))};
        }
    }
    return shown;
}

QSet<QString> keepOnly(const QSet<QString> &shown, const QSet<qint64> &ids)
{
    QSet<QString> kept;
    for (const QString &entry : shown) {
        if (ids.contains(entry.section(QLatin1Char('/'), 1).toLongLong()))
            kept << entry;
    }
    return kept;
}

// Chooses a species the way a user does: Alt+В to the box, then the arrow keys.
void choose(TKalmedaRamuxMainForm *w, const QString &name)
{
    // Alt+В, the caption's mnemonic.
    QTest::sendKeyEvent(QTest::Click, w, Qt::Key(0x0412), QStringLiteral("в"), Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->SpeciesBox));
    QTest::keyClick(w->SpeciesBox, Qt::Key_Home);
    for (int i = 0; i < w->SpeciesBox->count() && w->SpeciesBox->currentText() != name; ++i)
        QTest::keyClick(w->SpeciesBox, Qt::Key_Down);
    QCOMPARE(w->SpeciesBox->currentText(), name);
}

QString notice(int without)
{
    return QStringLiteral("Показаны препараты с данными для вида «собаки»; у %1 %2 структурированных "
                          "данных нет — они видны при выборе «все»")
        .arg(without)
        .arg(without % 10 == 1 && without % 100 != 11 ? QStringLiteral("препарата")
                                                      : QStringLiteral("препаратов"));
}

} // namespace

class TestAnimalFilter : public QObject
{
    Q_OBJECT

private slots:
    void narrowsTheTreeAndAllGivesItBack()
    {
        DemoFixture f;
        QStringList before;
        {
            auto first = f.start();
            before = dump(first->TreeView1);
        }
        // A product with withdrawal rows for dogs and no dose row for them counts for dogs too.
        const qint64 withdrawalOnly =
            *idsOf(f.path, QStringLiteral("SELECT min(item_id) FROM item_doses WHERE "
                                          "item_id NOT IN (SELECT item_id FROM item_doses "
                                          "WHERE species_id = 1)"))
                 .begin();
        f.run(QStringLiteral("INSERT INTO item_withdrawals (id, item_id, ord, species_id, tissue, period, "
                             "period_unit, forbidden, source_field, source_quote) VALUES (90001, %1, 1, 1, "
                             "'meat', '1', 'd', 0, 'special_conditions', 'через 1 сутки')")
                  .arg(withdrawalOnly));
        auto w = f.start();
        QVERIFY(w->SpeciesBox->isVisible());
        QCOMPARE(w->SpeciesBox->currentText(), QStringLiteral("все"));
        QCOMPARE(w->SpeciesBox->accessibleName(), QStringLiteral("Вид животного"));
        QVERIFY(!w->SpeciesNotice->isVisible());
        QSet<QString> all;
        QSet<qint64> without;
        for (int list = 0; list < 2; ++list) {
            for (const NameEntry &entry : list == 0 ? w->RussianNames : w->LatinNames) {
                all << QStringLiteral("%1/%2").arg(list).arg(entry.id);
                without << entry.id;
            }
        }
        without -= withRowsFor(f.path, 0);

        // Narrowed before its letters were ever opened, and again once they are.
        const QSet<qint64> dogs = withRowsFor(f.path, kDog);
        choose(w.get(), QStringLiteral("собаки"));
        const QSet<QString> shown = shownProducts(w->TreeView1);
        QVERIFY(!shown.isEmpty() && shown.size() < all.size());
        QCOMPARE(shown, keepOnly(all, dogs));
        QVERIFY(shown.contains(QStringLiteral("0/%1").arg(withdrawalOnly)));
        choose(w.get(), QStringLiteral("все"));
        QCOMPARE(shownProducts(w->TreeView1), all);
        choose(w.get(), QStringLiteral("собаки"));
        QCOMPARE(shownProducts(w->TreeView1), shown);
        // The notice counts each product once, whichever lists it is in.
        QVERIFY(without.size() > 1);
        QVERIFY(w->SpeciesNotice->isVisible());
        QCOMPARE(w->SpeciesNotice->text(), notice(int(without.size())));

        // A product left out stays in the tree, hidden, so a link to it still opens its page.
        const qint64 hidden = *without.begin();
        QTreeWidgetItem *node = TKalmedaRamuxMainForm::FindNodeByData(w->TreeView1->topLevelItem(0), hidden);
        QVERIFY(node && node->isHidden());
        w->PageLinkClick(w->m_groupView, QStringLiteral("ITEM:%1").arg(hidden));
        QCOMPARE(currentId(w->TreeView1), hidden);

        choose(w.get(), QStringLiteral("все"));
        QVERIFY(!w->SpeciesNotice->isVisible());
        w->TreeView1->setCurrentItem(nullptr);
        QCOMPARE(dump(w->TreeView1), before);
    }

    void groupAndResultsPagesNarrowAndTheChoiceIsKept()
    {
        DemoFixture f;
        const QSet<qint64> dogs = withRowsFor(f.path, kDog);
        const QSet<qint64> any = withRowsFor(f.path, 0);
        // A group with a dog product and products without data.
        qint64 group = 0;
        QSet<qint64> members;
        {
            Database db;
            db.open(f.path, schema::databasePassword());
            Statement st =
                db.prepare(QStringLiteral("SELECT section_id, item_id FROM items_to_sections ORDER BY 1"));
            QHash<qint64, QSet<qint64>> sections;
            while (st.step())
                sections[st.int64(0)].insert(st.int64(1));
            for (auto it = sections.cbegin(); it != sections.cend() && !group; ++it) {
                if (it->intersects(dogs) && !QSet<qint64>(*it).subtract(any).isEmpty() &&
                    !QSet<qint64>(*it).subtract(dogs).isEmpty()) {
                    group = it.key();
                    members = *it;
                }
            }
        }
        QVERIFY(group);
        QString allPage, allResults;
        {
            auto w = f.start();
            selectNode(w->TreeView2, group);
            allPage = w->m_groupView->Document();
            w->ShowSearchResults(QStringLiteral("амокс"));
            allResults = w->m_productView->Viewer()->toPlainText();

            choose(w.get(), QStringLiteral("собаки"));
            // The shown pages follow the choice at once.
            const QString narrowed = w->m_groupView->Html();
            for (qint64 id : members)
                QCOMPARE(narrowed.contains(QStringLiteral("\"ITEM:%1\"").arg(id)), dogs.contains(id));
            QVERIFY2(narrowed.contains(notice(int((members - any).size()))), qPrintable(narrowed));
            const QString results = w->m_productView->Viewer()->toPlainText();
            QVERIFY2(results.contains(QStringLiteral("Показаны препараты с данными для вида «собаки»")),
                     qPrintable(results));
            QVERIFY(results.contains(QStringLiteral("Амоксиклав-Вет")));
            QVERIFY(allResults.contains(QStringLiteral("Амоксипор водорастворимый"))); // for pigs and poultry
            QVERIFY(!results.contains(QStringLiteral("Амоксипор водорастворимый")));
            w->close();
        }
        // The next start narrows as the last one left off; "все" composes today's page again.
        auto w = f.start();
        QCOMPARE(w->SpeciesBox->currentText(), QStringLiteral("собаки"));
        QVERIFY(w->SpeciesNotice->isVisible());
        choose(w.get(), QStringLiteral("все"));
        selectNode(w->TreeView2, group);
        QCOMPARE(w->m_groupView->Document(), allPage);
    }

    void followsTheStructuredDataAndHidesWithoutIt()
    {
        DemoFixture f;
        auto w = f.start();
        choose(w.get(), QStringLiteral("собаки"));
        // The dog rows go; the choice goes with them, the others stay offered.
        f.run(QStringLiteral("DELETE FROM item_doses WHERE species_id = 1; DELETE FROM item_withdrawals "
                             "WHERE species_id = 1;"));
        QCoreApplication::postEvent(w.get(), new StructuredDataChangedEvent);
        QTRY_COMPARE(w->SpeciesBox->currentText(), QStringLiteral("все"));
        QCOMPARE(w->SpeciesBox->findText(QStringLiteral("собаки")), -1);
        QVERIFY(w->SpeciesBox->findText(QStringLiteral("кошки")) > 0);
        QVERIFY(!w->SpeciesNotice->isVisible());
        // A store without species (an older server's) offers no choice at all.
        f.run(QStringLiteral("DELETE FROM species;"));
        QCoreApplication::postEvent(w.get(), new StructuredDataChangedEvent);
        QTRY_VERIFY(!w->SpeciesBox->isVisible());
        QVERIFY(f.errors.isEmpty());
    }
};

QTEST_MAIN(TestAnimalFilter)
#include "tst_animalfilter.moc"
