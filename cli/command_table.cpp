// The table of quorbit-cli's commands: name, usage, summary, options, argument count and handler.
#include "cli/command.h"

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"portfolios",
         "portfolios ROOT [--filter PATH]",
         "List every portfolio (directory holding a MASTER file) below ROOT, sorted.",
         {"--filter"},
         {},
         1,
         run_portfolios},
        {"symbols",
         "symbols DIR [--header]",
         "List the symbols of a portfolio. Columns: SYMBOL, NAME, FILE (file number), LENGTH (record "
         "length),\n"
         "      FIELDS, FIRST and LAST (dates), PERIODICITY; --header prints their names first.",
         {},
         {"--header"},
         1,
         run_symbols},
        {"quotes",
         "quotes DIR SYMBOL [--oldest-first] [--header]",
         "List the quotes of a security, newest first. Columns: DATE, TIME (intra-day series only), OPEN,\n"
         "      HIGH, LOW, CLOSE, VOL, OI (N/A for a field the series lacks); --header prints their names "
         "first.",
         {},
         {"--oldest-first", "--header"},
         2,
         run_quotes},
        {"facts", "facts DIR SYMBOL", "Show the facts of a security's series.", {}, {}, 2, run_facts},
        {"export",
         "export DIR SYMBOL FILE [--delimiter space|comma|tab] [--omit time,open,high,low,close,vol,oi] "
         "[--newest-first] [--title] [--full-precision]",
         "Export a security's quotes to a delimited text file; FILE - writes to standard output. An "
         "intra-day\n"
         "      series has a Time column (HH:MM:SS) after the date. --full-precision writes each value as "
         "the\n"
         "      shortest text that reads back to the number stored (an import then stores it exactly).",
         {"--delimiter", "--omit"},
         {"--newest-first", "--title", "--full-precision"},
         3,
         run_export},
        {"export-all",
         "export-all DIR OUTDIR [same options as export] [--ticker]",
         "Export every security of a portfolio, one file each, named after its symbol; --ticker writes "
         "the symbol\n"
         "      in a first column (title TICKER), which import-all reads back whatever the file's name.",
         {"--delimiter", "--omit"},
         {"--newest-first", "--title", "--ticker", "--full-precision"},
         2,
         run_export_all},
        {"split-search",
         "split-search DIR [--output FILE]",
         "Search a portfolio for probable unrecorded splits; result lines on stdout (and in FILE).",
         {"--output"},
         {},
         1,
         run_split_search},
        {"check",
         "check DIR [SYMBOL] [--spike PERCENT] [--gap DAYS]",
         "Check a portfolio (with its nested portfolios) or one security for bad quotes: one line per\n"
         "      finding (SYMBOL, DATE, KIND, VALUES, tab-separated; DATE holds the time of an intra-day "
         "quote);\n"
         "      exit status 1 when anything is found.\n"
         "      A portfolio's EMASTER that disagrees with MASTER (emaster-disagrees) and an XMASTER that\n"
         "      cannot be read (xmaster-unusable) are findings too, under the file's name.\n"
         "      --spike: a close that moves by more than PERCENT and comes back (50); --gap: days between\n"
         "      two daily quotes (10).",
         {"--spike", "--gap"},
         {},
         1,
         run_check,
         1},
        {"edit",
         "edit DIR SYMBOL DATE OPEN HIGH LOW CLOSE VOL OI [--time HH:MM[:SS]]",
         "Set the six values of the quote dated DATE (at --time where several quotes share the date: HH:MM\n"
         "      names the one quote of that minute, HH:MM:SS the quote of that second); N/A keeps the "
         "stored\n"
         "      value (a field the series lacks, a value below 0).",
         {"--time"},
         {},
         9,
         run_edit},
        {"split",
         "split DIR SYMBOL DATE NEW OLD",
         "Apply a split of NEW for OLD shares to every quote before DATE.",
         {},
         {},
         5,
         run_split},
        {"adjust",
         "adjust DIR SYMBOL FROM TO PRICE VOLUME OI",
         "Multiply prices, volume and open interest of the quotes dated FROM to TO.",
         {},
         {},
         7,
         run_adjust},
        {"delete-quote",
         "delete-quote DIR SYMBOL DATE [--time HH:MM[:SS]]",
         "Delete the quote dated DATE (at --time where several quotes share the date, as for edit).",
         {"--time"},
         {},
         3,
         run_delete_quote},
        {"add-quote",
         "add-quote DIR SYMBOL DATE",
         "Add a copy of the quote dated DATE on the weekday before it; prints the new date.",
         {},
         {},
         3,
         run_add_quote},
        {"rename",
         "rename DIR SYMBOL NEW-SYMBOL NEW-NAME",
         "Give a security a new symbol and name.",
         {},
         {},
         4,
         run_rename},
        {"delete-symbol",
         "delete-symbol DIR SYMBOL",
         "Delete a security with its files.",
         {},
         {},
         2,
         run_delete_symbol},
        {"move", "move DIR SYMBOL DEST-DIR", "Move a security to another portfolio.", {}, {}, 3, run_move},
        {"copy", "copy DIR SYMBOL DEST-DIR", "Copy a security to another portfolio.", {}, {}, 3, run_copy},
        {"repair",
         "repair DIR",
         "Repair a MASTER file whose records have blank symbols, and rebuild an EMASTER that\n"
         "      disagrees with MASTER.",
         {},
         {},
         1,
         run_repair},
        {"new-portfolio",
         "new-portfolio DIR",
         "Make DIR (or the empty folder DIR) an empty portfolio: MASTER and EMASTER without securities.",
         {},
         {},
         1,
         run_new_portfolio},
        {"new-security",
         "new-security DIR SYMBOL NAME [--fields date,open,high,low,close,vol,oi] [--periodicity D|W|M|I]",
         "Add a security without quotes, under the lowest free file number (in XMASTER once MASTER\n"
         "      holds 255). Fields: date,open,high,low,close,vol,oi by default; intra-day "
         "date,time,open,high,low,close,vol.",
         {"--fields", "--periodicity"},
         {},
         3,
         run_new_security},
        {"import",
         "import DIR SYMBOL FILE [--create NAME] [--keep-existing] [--columns LIST] [--day-first]",
         "Merge the quotes of a text file into a security: new dates are added, a date already there takes\n"
         "      the file's values (--keep-existing: keeps its own). --create NAME makes the security when "
         "it\n"
         "      is missing (with --fields and --periodicity as for new-security; by default the fields the\n"
         "      file gives). The file names its columns in a header row, or --columns names them\n"
         "      (date,time,open,high,low,close,vol,oi,ticker,name,skip). Dates YYYYMMDD, YYYY-MM-DD, "
         "MM/DD/YYYY,\n"
         "      MM/DD/YY (--day-first: DD/MM/...). A line that cannot be read refuses the file: nothing is\n"
         "      written. One result line per security: added, replaced, unchanged, first and last date.",
         {"--create", "--columns", "--fields", "--periodicity"},
         {"--keep-existing", "--day-first"},
         3,
         run_import},
        {"import-all",
         "import-all DIR FILE... [--create] [--keep-existing] [--columns LIST] [--day-first]",
         "Import many files: a file with a ticker column sends each line to the security it names, any\n"
         "      other goes to the security named like the file. Every file is checked before anything is\n"
         "      written; then each security is written whole. --create makes missing securities, named as\n"
         "      the file's name column names them, or after their symbol.",
         {"--columns", "--fields", "--periodicity"},
         {"--keep-existing", "--day-first", "--create"},
         2,
         run_import_all,
         1000000},
        {"demo",
         "demo DIR",
         "Write a set of demonstration portfolios below DIR, where nothing stands at the names it uses.",
         {},
         {},
         1,
         run_demo},
    };
    return table;
}
