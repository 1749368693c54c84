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
  Firma           TEXT,
  Foto            BLOB
);

INSERT INTO Benutzer VALUES
  ('demo', 'Erika', 'Mustermann', 'EM', 'Dr.', 'Leiterin Vertrieb', 'Region Süd',
   '+49 89 123456-10', '+49 89 123456-99', '+49 171 1234567', 'erika.mustermann@example.com',
   '80331', 'München', 'Marienplatz 1', 'Standard', 'Antwort', 'Vertrieb',
   'Nordlicht Feinmechanik GmbH',
   -- her photo: a JPEG of 60 x 80 pixels (PhotoMapping Photo=Foto)
   X'ffd8ffe000104a46494600010100000100010000ffdb0043000503040404030504040405050506070c08070707070f0b0b090c110f1212110f111113161c1713141a1511111821181a1d1d1f1f1f13172224221e241c1e1f1effdb0043010505050706070e08080e1e1411141e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1effc00011080050003c03012200021101031101ffc400160001010100000000000000000000000000000507ffc400161000030000000000000000000000000000001461ffc40017010101010100000000000000000000000000020601ffc4001511010100000000000000000000000000000011ffda000c03010002110311003f00d658a18a48628629a78cdd57628629218a18a2155d8a18a486286288557628629218a18a215258a18a49628629710acc50c524b1431441598a18a4962862882b31431492c50c51048628629258a18a544d56628629258a18a215598a18a496286288556628629258a18a215218a18a4962862971caacc50c524b1431442ab31431492c50c510aacc50c524b1431442a4b1431490c50c5290aec50c5243143140aec50c5243143140aec50c5243143140ffd9'),
  ('mmueller', 'Max', 'Müller', 'MM', NULL, 'Sachbearbeiter', NULL,
   '+49 89 123456-20', NULL, NULL, 'max.mueller@example.com',
   '80331', 'München', 'Marienplatz 1', 'standard', NULL, 'Innendienst',
   'Nordlicht Feinmechanik GmbH', NULL),
  ('o''brien', 'Siobhan', 'O''Brien', 'SO', NULL, 'Consultant', 'Dublin Office',
   '+353 1 234567', NULL, '+353 87 1234567', 'siobhan.obrien@example.com',
   'D02', 'Dublin', 'Grafton Street 7', 'english', NULL, 'Beratung',
   'Nordlicht Feinmechanik GmbH', NULL),
  -- No fax, no mobile number, a name outside Latin-1 and an "&" in the company.
  ('lzolc', 'Łukasz', 'Żółć-Müller', NULL, NULL, 'Vertrieb Polen', NULL,
   '+48 58 3012345', NULL, NULL, 'lukasz.zolc-mueller@example.com',
   '80-831', 'Gdańsk', 'ul. Długa 12', 'standard', NULL, 'Vertrieb',
   'Nordlicht Müller & Söhne Sp. z o.o.', NULL);

-- The staff as the personnel department lists them: the audit takes their
-- names (AuditSelect=SELECT Benutzername FROM Personal ORDER BY Nr). Jana
-- Neumann starts next week and has no row in Benutzer yet.
DROP TABLE IF EXISTS Personal;
CREATE TABLE Personal (
  Nr           INTEGER,
  Benutzername TEXT
);

INSERT INTO Personal VALUES
  (1, 'demo'), (2, 'mmueller'), (3, 'o''brien'), (4, 'lzolc'), (5, 'jneumann');
