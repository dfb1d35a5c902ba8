@echo off
rem 例のバッチ（batch\ の 3 通）を送ります。tarnmail.ini が Outbox=1 のあいだは
rem 送らずに temp\outbox\ へ書き出します。
cd /d "%~dp0"
Tarnwick.exe /P batch\jobs.txt /i
echo Tarnwick の終了コード: %ERRORLEVEL%
echo 送信結果: $mail_result.csv / 書き出したメール: temp\outbox\
