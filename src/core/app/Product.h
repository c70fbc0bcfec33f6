#pragma once

#include <QString>

namespace quenlor {

// The product whose catalogue the program works on. The ERP's login names its own product line
// (T3, T6 or U8); without it the ufsystem catalogue stands for the whole family.
enum class ProductFamily {
    None,            // no catalogue found
    T3,              // named by the ERP's login
    T6,              //
    U8,              //
    UfSystem,        // the ufsystem catalogue, product line unknown
    Tplus,           // the UFTSystem catalogue
    ServerDatabases, // any user database of the server, no catalogue
};

// The ufsystem catalogue's edition: the newer U8 keeps a year range per account database and
// runs a task service beside it.
enum class UfCatalogue { Classic, NewerU8 };

// T3, T6, U8 and the unnamed family share the ufsystem catalogue.
[[nodiscard]] bool usesUfSystem(ProductFamily product);

// The product as the caption names it: "T3", "T6", "U8", "T", "T+", "SQL", or empty.
[[nodiscard]] QString productName(ProductFamily product);
// The product as the product list offers it: as productName, but the unnamed family is
// "T3|T6|U8".
[[nodiscard]] QString productEntry(ProductFamily product);
// Either text back to the product; any other text is None.
[[nodiscard]] ProductFamily parseProduct(const QString& text);

} // namespace quenlor
