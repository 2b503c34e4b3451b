@echo off
rem Runs Ferrowin's tests on Windows from the folder the kit was unzipped to,
rem with nothing installed: one line for each entry, passed, failed or
rem skipped with the reason, then "N passed, N failed, N skipped". Exits with
rem 1 when any failed. Each entry's output goes to ENTRY.log in the folder
rem ferrowin-tests-logs of %TEMP%: the kit's own folder may be read-only.
rem   run-tests.cmd [ENTRY...]    only the entries named, e.g. ui_tests_x86
setlocal EnableExtensions EnableDelayedExpansion
set "kit=%~dp0"
set "logs=%TEMP%\ferrowin-tests-logs"
if not exist "%logs%" mkdir "%logs%"
set /a passed=0, failed=0, skipped=0
set "named=%*"
set "win64=0"
if /i "%PROCESSOR_ARCHITECTURE%"=="AMD64" set "win64=1"
if defined PROCESSOR_ARCHITEW6432 set "win64=1"

for %%b in (x86 x64) do (
    call :entry %%b table_tests - tests\table_tests.exe
    call :entry %%b ui_tests - tests\ui_tests.exe
    call :entry %%b trim_tests - tests\trim_tests.exe
    call :entry %%b process_ops_tests - tests\process_ops_tests.exe
    call :entry %%b soak - tests\soak_tests.exe
    call :entry %%b e2e - tests\e2e\e2e_driver.exe ferrowin.exe
    call :entry %%b e2e_stack_overrun overrun tests\e2e\e2e_driver.exe tests\e2e\stack_overrun.exe
    call :entry %%b e2e_planted_psapi start tests\e2e\e2e_driver.exe tests\e2e\planted_psapi\ferrowin.exe psapi
    call :entry %%b e2e_planted_comctl32 start tests\e2e\e2e_driver.exe tests\e2e\planted_comctl32\ferrowin.exe comctl32
)
if not defined named goto :left_out
for %%n in (%named%) do if not defined ran_%%n call :unknown %%n
goto :summary
:left_out
echo not in this kit: e2e_system_psapi, e2e_system_comctl32: they need a system folder that holds a planted psapi.dll or comctl32.dll, which only a copy of a Wine prefix may have
echo not in this kit: e2e_no_psapi, e2e_no_comctl32: they need psapi.dll or comctl32.dll made unloadable, which only Wine's DLL overrides do
echo not in this kit: exe_checks_win32, exe_checks_win64: Python scripts that read the executables' bytes on the build machine
:summary
echo %passed% passed, %failed% failed, %skipped% skipped
set "code=0"
if %failed% gtr 0 set "code=1"
endlocal & exit /b %code%

rem A name given that no entry has.
:unknown
echo failed %1: no such entry in this kit
set /a failed+=1
exit /b 0

rem An entry: %1 the bitness, %2 its name, %3 the driver's short run or -,
rem %4 the program, %5 its argument, %6 a DLL planted beside the program.
:entry
set "name=%2_%1"
set "wanted=1"
if defined named set "wanted="
if defined named for %%n in (%named%) do if /i "%%n"=="!name!" (
    set "wanted=1"
    set "ran_%%n=1"
)
if not defined wanted exit /b 0
if "%1"=="x64" if "%win64%"=="0" (
    echo skipped !name!: this is a 32-bit Windows, which runs no 64-bit program
    set /a skipped+=1
    exit /b 0
)
set "FERROWIN_E2E_ONLY="
if not "%3"=="-" set "FERROWIN_E2E_ONLY=%3"
rem Wine takes a DLL beside the program, named bare, only when told to prefer
rem it to its own, as Windows' search order does: for this entry, when the
rem registry says this is Wine.
set "preferred="
if not "%6"=="" reg query "HKLM\Software\Wine" >nul 2>&1 && set "preferred=HKCU\Software\Wine\AppDefaults\ferrowin.exe"
if defined preferred reg add "!preferred!\DllOverrides" /v %6 /d native,builtin /f >nul
set "argument="
if not "%5"=="" set "argument="%kit%%1\%5""
set "log=%logs%\!name!.log"
pushd "%kit%%1"
"%kit%%1\%4" !argument! >"!log!" 2>&1
set "status=!errorlevel!"
popd
set "FERROWIN_E2E_ONLY="
if defined preferred reg delete "!preferred!\DllOverrides" /v %6 /f >nul
if "!status!"=="0" (
    echo passed !name!
    set /a passed+=1
    exit /b 0
)
set "reason="
rem The first failure the program reported: a check's or a test's.
for /f "usebackq delims=" %%l in ("%log%") do if not defined reason call :failure %%l
if not defined reason set "reason=exit code !status!"
echo failed !name!: !reason! (all of it in !log!)
set /a failed+=1
exit /b 0

rem A line of an entry's output, taken for its reason when it reports a failure.
:failure
set "line=%*"
if "%line:~0,5%"=="FAIL " set "reason=!line!"
if "%line:~0,12%"=="[  FAILED  ]" set "reason=!line!"
exit /b 0
