// The products file as a delimited table (PRODUCTS_FILE_DELIMITER).
#include "catalog/product_sources.h"
#include "catalog_test_util.h"

using namespace catalog_test;

TEST_F(CatalogTest, DelimitedTableKeepsEmptyCellsInTheirColumns)
{
    set_string(DICT_CONFIG, "PRODUCTS_FILE_DELIMITER", "44");
    products("\"SKUID\",name,Price,NOTE\r\n"
             "W1,,9.99,plain\r\n"
             "\"W2\",\"Blue\",\"$12.50\",\"quoted\"\r\n"
             "W3,Three,,\r\n"
             "W4,Long,3," + std::string(9000, 'x') + "\n"
             "W1,Second W1,1.00,x\n"
             ",nameless,1,\n"
             "W6,Last,2,no line end");
    set_integer(DICT_SELECTED, "W1", 2);
    fill({"W1", "W2", "W3", "W4", "W6"});

    EXPECT_EQ(type_of("W1", "NAME"), TYPE_NONE);  // the first W1 row wins
    EXPECT_EQ(field("W1", "PRICE"), "9.99");
    EXPECT_EQ(type_of("W1", "PRICE"), TYPE_FLOAT);
    EXPECT_EQ(field("W1", "NOTE"), "plain");  // the line end is not part of the last cell
    EXPECT_EQ(field("W1", "QUANTITY"), "2");
    EXPECT_EQ(field("W1", "SKUID"), "W1");
    EXPECT_EQ(field("W2", "NAME"), "Blue");
    EXPECT_EQ(field("W2", "PRICE"), "12.50");
    EXPECT_EQ(field("W2", "NOTE"), "quoted");
    EXPECT_EQ(field("W3", "PRICE"), "0.00");
    EXPECT_EQ(type_of("W3", "NOTE"), TYPE_NONE);
    EXPECT_EQ(field("W4", "NOTE"), std::string(9000, 'x'));  // rows of any length
    EXPECT_EQ(field("W6", "NOTE"), "no line end");
    EXPECT_EQ(field("W6", "?MISSING"), "<absent>");
}

TEST_F(CatalogTest, DelimitedRowsWithoutTheSkuidCellAndQuotedDelimiters)
{
    set_string(DICT_CONFIG, "PRODUCTS_FILE_DELIMITER", "9");
    products("NAME\tSKUID\tPRICE\n"
             "only a name\n"
             "\"Tab\there\"\tT1\t1\n"
             "Plain\tT2\t2\n");
    fill({"T1", "T2", "ONLY"});
    // Cells are cut at every delimiter; quotes do not protect one.
    EXPECT_EQ(field("T1", "?MISSING"), "1");
    EXPECT_EQ(field("T2", "NAME"), "Plain");
    EXPECT_EQ(field("ONLY", "?MISSING"), "1");
}

TEST_F(CatalogTest, WithoutASkuidColumnTheFileIsReadInItsNormalForm)
{
    set_string(DICT_CONFIG, "PRODUCTS_FILE_DELIMITER", "124");
    products("NAME|PRICE\nSKUID: N1\nPRICE: 4\n");
    fill({"N1"});
    EXPECT_EQ(field("N1", "PRICE"), "4");

    set_string(DICT_CONFIG, "PRODUCTS_FILE_DELIMITER", "-1");  // not switched on
    products("SKUID|NAME\nSKUID: N2\nNAME: normal\n");
    fill({"N2"});
    EXPECT_EQ(field("N2", "NAME"), "normal");
}
