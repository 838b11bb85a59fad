# Lists of unit tests (GoogleTest filter patterns) that the test builds treat apart.

# Tests that need what only the desktop has. A second process: a forked child (fatal errors, the end statement, low memory)
# or the recording stand-in for the desktop's dialog program. No browser, and no node running the
# browser build, can start one; the page's own dialogs are tested in the browser (tests/web).
set(vost_tests_needing_processes
  "ErrorTest.YesReportsTheFirstErrorAndContinues:ErrorTest.ReportTitleUsesTheFileNameAfterTheLastSeparator"
  ":ErrorTest.IncludedLineAndFileTakeThePlaceOfTheStatementLine:ErrorTest.NoEndsTheProgram"
  ":ErrorTest.MissingXmessageCountsAsNo:ErrorTest.CriticalError*:ErrorTest.FatalCodes*"
  ":ErrorTest.DivisionByZeroIsFatal:ErrorTest.EndStatementClosesAndParks"
  ":ErrorTest.EndKeepsParkingAfterTheStopRequest:ErrorTest.StopDuringPauseEndsTheProgram"
  ":MessageBoxTest.*:MemoryTest.LowMemoryFailuresAreFatal:MemoryTest.LowStackBelowTheBlocksLeavesNoRoom"
  ":StringsTest.FullLowMemoryAreaIsFatal"
  # The C library's locales (a decimal-comma locale compiled with localedef): a page has none.
  ":NumberTextTest.IndependentOfTheNumericLocale")
string(REPLACE ";" "" vost_tests_needing_processes "${vost_tests_needing_processes}")

# The differential of the software extended type against the hardware's (millions of operands,
# seconds in an optimised build): labelled "differential" and left out of the sanitizer runs,
# whose instrumentation would make them minutes and adds nothing to arithmetic on plain values.
set(vost_differential_tests "SoftExtendedTest.*")
