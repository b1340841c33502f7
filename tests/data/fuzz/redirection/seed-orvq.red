; Where OrvQ keeps its folders and files outside the settings store.
; A value may refer to a built-in folder - %AppDir%, %ThisDir% (this file's
; folder), %WorkDir%, %TempDir%, %AppDataDir%, %LocalAppDataDir%,
; %CommonAppDataDir% - or to another directory alias; %% is a percent sign.

[Directories]
UserData=%LocalAppDataDir%/OrvQ
Queries=%ThisDir%/queries
HTMLTemplates=%ThisDir%/templates
LogArchives=%UserData%/archives

[Filenames]
Log=%UserData%/OrvQ.log
SevenZipDll=/usr/lib/p7zip/7z.so
Certificate=%ThisDir%/certs/client.pem
ServerCA=%ThisDir%/certs/server-ca.pem
QBCompanyFile=%UserData%/company.sqlite
