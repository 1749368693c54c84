-- The demo's user database. Build it with
--   sqlite3 benutzer.db < benutzer.sql
-- and point the configuration at it:
--   DatabaseConnection=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=benutzer.db
--   UserSelect=SELECT * FROM Benutzer WHERE Benutzername = '%USERNAME%'
-- The columns match the demo's section "FieldMapping".
DROP TABLE IF EXISTS Benutzer;
CREATE TABLE Benutzer (
  Benutzername    TEXT,
  Vorname         TEXT,
  Nachname        TEXT,
  Kuerzel         TEXT,
  Titel           TEXT,
  Funktion1       TEXT,
  Funktion2       TEXT,
  Telefon         TEXT,
  Fax             TEXT,
  Mobil           TEXT,
  EMail           TEXT,
  PLZ             TEXT,
  Ort             TEXT,
  Strasse         TEXT,
  SignType        TEXT,
  SignTypeAntwort TEXT,
  Abteilung       TEXT,
  Firma           TEXT
);

INSERT INTO Benutzer VALUES
  ('demo', 'Erika', 'Mustermann', 'EM', 'Dr.', 'Leiterin Vertrieb', 'Region Süd',
   '+49 89 123456-10', '+49 89 123456-99', '+49 171 1234567', 'erika.mustermann@example.com',
   '80331', 'München', 'Marienplatz 1', 'Standard', 'Antwort', 'Vertrieb',
   'Nordlicht Feinmechanik GmbH'),
  ('mmueller', 'Max', 'Müller', 'MM', NULL, 'Sachbearbeiter', NULL,
   '+49 89 123456-20', NULL, NULL, 'max.mueller@example.com',
   '80331', 'München', 'Marienplatz 1', 'standard', NULL, 'Innendienst',
   'Nordlicht Feinmechanik GmbH'),
  ('o''brien', 'Siobhan', 'O''Brien', 'SO', NULL, 'Consultant', 'Dublin Office',
   '+353 1 234567', NULL, '+353 87 1234567', 'siobhan.obrien@example.com',
   'D02', 'Dublin', 'Grafton Street 7', 'english', NULL, 'Beratung',
   'Nordlicht Feinmechanik GmbH'),
  -- No fax, no mobile number, a name outside Latin-1 and an "&" in the company.
  ('lzolc', 'Łukasz', 'Żółć-Müller', NULL, NULL, 'Vertrieb Polen', NULL,
   '+48 58 3012345', NULL, NULL, 'lukasz.zolc-mueller@example.com',
   '80-831', 'Gdańsk', 'ul. Długa 12', 'standard', NULL, 'Vertrieb',
   'Nordlicht Müller & Söhne Sp. z o.o.');
