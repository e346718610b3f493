#pragma once
#include <QObject>
#include <memory>

class LoginTest : public QObject {
    Q_OBJECT
private slots:
    void secondWrongPasswordOnlyWarnsThirdCloses();
    void passwordsCompareCaseSensitively();
    void emptyPasswordLogsInWithEmptyField();
    void autoLoginRemembersAndStalePasswordShowsDialog();
    void lockDialogHasNoAttemptLimit();
    void lockDialogIgnoresEscapeAndClose();
    void passwordsAreLimitedByBytesBetweenCharacters();
};

class RightsTest : public QObject {
    Q_OBJECT
private slots:
    void viewUserPresetLacksCheckTime();
    void levelPresetsAndOptionBits();
    void administratorWithoutExitRightCannotLeave();
    void deletingOwnAccountIsRefused();
    void afterLogoutCheckRightOffersLoginSilently();
    void accountFormRefusesEmptyNameAndMismatch();
    void duplicateAccountReportsFailure();
    void onlyAnAdministratorChangesOtherAccounts();
    void usersPageNeedsALoginAndClosesAtLogoutAndLock();
};

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void viewItem6StoresResolution();
    void freshConfigOpensAt1024x720();
    void importWhileChannelPlaysChangesNothing();
    void importAndExportNeedAdministrator();
    void wrongImportFileIsRefusedWhileTheDevicesRun();
    void everyPageOfTheListIsOfferedInItsMenuAndOpensFromIt();
    void importFailingLaterStartsTheDevicesAgain();
    void statusTickReachesTheWindowAsMessage();
    void toolbarPageOrder();
    void exitWritesLogsAndCloses();
    void systemInfoRoundTripsAndDamageReadsAsZero();
    void damagedDatabaseIsReportedAndLeftUntouched();
};

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void secondInstanceIsRefused();
    void secondStartLeavesTheRunningClientsDatabaseAlone();
    void startupAppliesThePendingImportAndMakesPasswordFilesPrivate();
    void crashLinesAreShownOnce();
    void loadingSplashTicksAndCreatesService();
    void loadingSplashClosedEarlyStillInitialisesTheLibrary();
    void terminationDuringTheLoginEndsTheStart();
    void wavFilesAreValidated();
    void terminationSignalsReachTheUiThreadOnce();
};

class StatusTest : public QObject {
    Q_OBJECT
private slots:
    void timeSyncMarksEveryChannelAtCheckTime();
    void dayChangeAndLogPruning();
    void lateTickStillRunsTheTriggersOfTheSecondsItMissed();
    void networkMeterBoundaries();
};

class RealPlayTest : public QObject {
    Q_OBJECT
private slots:
    void opensAtStartAndDecodesNothingWhileHidden();
    void treeDoubleClickOpensIntoTheSelectedCellAndLabelsIt();
    void splitChoiceIsAppliedRememberedAndReusedAtTheNextStart();
    void doubleClickMaximisesAndPausesOthersThenRestores();
    void dragFromOneCellToAnotherSwapsThem();
    void fullScreenTakesThePanelOutAndEscapeBringsItBack();
    void dropFromTheTreeOpensMovesOrShowsTheGroup();
};
