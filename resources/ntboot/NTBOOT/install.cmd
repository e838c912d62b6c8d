@echo off
rem Runs inside Windows setup, called by the answer file with the drive letter of this
rem USB drive (for example "E:"). Reads the image's path from namepath.cmd and attaches
rem the image, so that setup finds its installation files after the boot from it.
setlocal
set USB=%~1
if "%USB%"=="" goto :find
goto :read

:find
for %%d in (C D E F G H I J K L M N O P Q R S T U V W X Y Z) do (
  if exist %%d:\Quorvane\NTBOOT\namepath.cmd set USB=%%d:
)
if "%USB%"=="" (
  echo Quorvane: the USB drive with the installation image was not found.
  exit /b 1
)

:read
set MYOS=
call "%USB%\Quorvane\NTBOOT\namepath.cmd"
if "%MYOS%"=="" (
  echo Quorvane: %USB%\Quorvane\NTBOOT\namepath.cmd names no image.
  exit /b 1
)
set IMAGE=%USB%%MYOS%
if not exist "%IMAGE%" (
  echo Quorvane: image "%IMAGE%" not found.
  exit /b 1
)

rem Windows 8 and later attach ISO and VHD files as virtual disks themselves.
set SCRIPT=%TEMP%\quorvane-attach.txt
> "%SCRIPT%" echo select vdisk file="%IMAGE%"
>> "%SCRIPT%" echo attach vdisk readonly
diskpart /s "%SCRIPT%" > nul
if not errorlevel 1 goto :done

rem Windows 7 setup cannot attach an ISO file; an ImDisk driver placed beside this
rem script does it when present.
if exist "%~dp0imdisk.exe" (
  "%~dp0imdisk.exe" -a -f "%IMAGE%" -m #: -o ro,cd
  if not errorlevel 1 goto :done
)
echo Quorvane: "%IMAGE%" could not be attached.
exit /b 1

:done
endlocal
exit /b 0
