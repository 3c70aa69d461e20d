@echo off
rem Wildcards typed in cmd, which leaves them to the program, in a folder of MDR_nn.EVT files;
rem status 1 on the first step that does not do what it should. Usage: this.bat KORALUX_CLI_EXE
"%~1" --info *.EVT > info.txt
if errorlevel 1 exit /b 1
"%~1" --info mdr_1*.evt > lower.txt
if errorlevel 1 exit /b 1
"%~1" MDR_0?.EVT --output-dir out -q
if errorlevel 1 exit /b 1
"%~1" --info NOTHING_*.EVT 2> unmatched.txt
if not errorlevel 1 exit /b 1
exit /b 0
