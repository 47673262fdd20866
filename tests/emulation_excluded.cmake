# Tests that the arm64 suite leaves out: each cannot run under qemu-user on
# the build machine, for the reason beside it. The cross build hands this
# list to ctest (CTestCustom.cmake in the build folder).
list(APPEND CTEST_CUSTOM_TESTS_IGNORE
  "DispatchQueuesDeathTest.AnItemThatFindsNoThreadRunsOnceOnAPoolThreadWhenOneCanStart"  # re-executes the aarch64 test program, which the build machine cannot execute
  "LaunchFailure.EveryOperationReportsItAsAValueAndLogsWhereItShould"  # qemu-user makes the spawn's vfork a plain fork: a program that cannot run starts and exits 127
  "Submission.ToolsThatCannotBeStartedAreFailedAttemptsWithStatusMinusOne"  # qemu-user makes the spawn's vfork a plain fork: a program that cannot run starts and exits 127
  "UiLinkPrintTest.NoQueryChildOutlivesAHostThatEndsDuringAnOutage"  # qemu-user has no PR_SET_CHILD_SUBREAPER: the test cannot see what a host leaves behind
)
