-- The local database that QOR sync fills from the ERP and the scheduler reads.
-- Runs unchanged with sqlite3 and with psql; running it again leaves existing tables alone.
-- Column names are the ERP's field codes; every copied table has the primary key that the
-- changed-data copy finds its rows by.

-- One row per copied table: its sync settings, the time of its last copy and the claim of
-- the worker that copies it now.
CREATE TABLE IF NOT EXISTS tstables (
  tablename varchar(20) NOT NULL PRIMARY KEY,
  reqd smallint,
  syme smallint DEFAULT 1,
  freq double precision,
  lutm timestamp,
  in_use smallint DEFAULT 0,
  claim_host varchar(255),
  claim_pid integer,
  claim_time timestamp
);

-- The ERP company that the local database was first filled from.
CREATE TABLE IF NOT EXISTS tscompany (
  comp integer NOT NULL PRIMARY KEY
);

-- Service types
CREATE TABLE IF NOT EXISTS tsmdm030 (
  cstp varchar(3) NOT NULL PRIMARY KEY,
  dsca varchar(30),
  prod varchar(9),
  ract varchar(9)
);

-- Service centres
CREATE TABLE IF NOT EXISTS tsmdm100 (
  cwoc varchar(9) NOT NULL PRIMARY KEY,
  dsca varchar(30),
  wctp smallint,
  cmwc varchar(9),
  cwar varchar(9),
  clrt varchar(9),
  srtp smallint,
  srep varchar(9)
);

-- Service areas
CREATE TABLE IF NOT EXISTS tsmdm105 (
  csar varchar(9) NOT NULL PRIMARY KEY,
  dsca varchar(30),
  artp smallint,
  cmsa varchar(9),
  cwoc varchar(9),
  cwar varchar(9),
  trti double precision,
  dist double precision,
  ccha double precision,
  ccur varchar(3),
  clrt varchar(9)
);

-- Skills
CREATE TABLE IF NOT EXISTS tsmdm130 (
  skll varchar(9) NOT NULL PRIMARY KEY,
  dsca varchar(30),
  clrt varchar(9)
);

-- Skills by employee
CREATE TABLE IF NOT EXISTS tsmdm135 (
  emno varchar(9) NOT NULL,
  skll varchar(9) NOT NULL,
  cogr varchar(9) NOT NULL,
  afct double precision,
  PRIMARY KEY (emno, skll, cogr)
);

-- Service employees
CREATE TABLE IF NOT EXISTS tsmdm140 (
  emno varchar(9) NOT NULL PRIMARY KEY,
  dsca varchar(35),
  cwoc varchar(9),
  ccal varchar(9),
  frmn varchar(9),
  csar varchar(9),
  ccar varchar(9),
  ouser varchar(16),
  mpod double precision
);

-- Response times
CREATE TABLE IF NOT EXISTS tsclm020 (
  crtc varchar(3) NOT NULL PRIMARY KEY,
  dsca varchar(30),
  ccal varchar(9),
  rctt numeric(12,2),
  enst numeric(12,2),
  sltn numeric(12,2)
);

-- Priority time scales
CREATE TABLE IF NOT EXISTS tsclm024 (
  sltt numeric(12,2) NOT NULL PRIMARY KEY,
  dsca varchar(30)
);

-- Configurations
CREATE TABLE IF NOT EXISTS tscfg220 (
  ccfg varchar(9) NOT NULL PRIMARY KEY,
  dsca varchar(30),
  ofbp varchar(9),
  cwoc varchar(9),
  csar varchar(9),
  tecr varchar(9),
  teca varchar(9),
  tecb varchar(9),
  cusc varchar(9),
  czon varchar(9),
  dist double precision,
  trti double precision,
  ccal varchar(9),
  cadr varchar(12)
);

-- Service objects
CREATE TABLE IF NOT EXISTS tscfg200 (
  ccfg varchar(9) NOT NULL,
  crob varchar(50) NOT NULL,
  oseq integer NOT NULL,
  dsca varchar(30),
  cogr varchar(9),
  cusc varchar(9),
  manu varchar(30),
  ccal varchar(9),
  cdel varchar(12),
  PRIMARY KEY (ccfg, crob, oseq)
);

-- Service orders
CREATE TABLE IF NOT EXISTS tssoc200 (
  orno varchar(9) NOT NULL PRIMARY KEY,
  ccfg varchar(9),
  ofbp varchar(9),
  stna varchar(35),
  lcad varchar(12),
  cprj varchar(9),
  ordt timestamp,
  osta smallint,
  cwoc varchar(9),
  csar varchar(9),
  emno varchar(9),
  blyn smallint,
  ityn smallint,
  crit varchar(9),
  ordu double precision,
  tvdu double precision,
  pstm timestamp,
  pftm timestamp,
  estm timestamp,
  lftm timestamp,
  otim smallint,
  appo smallint,
  rsrp smallint,
  tstm timestamp,
  astm timestamp,
  aftm timestamp,
  csco varchar(9),
  csqu varchar(9),
  stbp varchar(9),
  emer smallint,
  minu integer,
  ract timestamp
);

-- Service order activities
CREATE TABLE IF NOT EXISTS tssoc210 (
  orno varchar(9) NOT NULL,
  acln integer NOT NULL,
  crac varchar(9),
  dsca varchar(30),
  cstp varchar(3),
  cagr varchar(9),
  ccfg varchar(9),
  crob varchar(50),
  oseq integer,
  ccll varchar(9),
  crtc varchar(3),
  prpr integer,
  cupr integer,
  obpr integer,
  cprl varchar(9),
  cstn varchar(9),
  asta smallint,
  skla varchar(9),
  sklb varchar(9),
  sklc varchar(9),
  acdu double precision,
  appo smallint,
  pstm timestamp,
  pftm timestamp,
  estm timestamp,
  lftm timestamp,
  astm timestamp,
  aftm timestamp,
  PRIMARY KEY (orno, acln)
);

-- Service order engineers
CREATE TABLE IF NOT EXISTS tssoc205 (
  orno varchar(9) NOT NULL,
  line integer NOT NULL,
  emno varchar(9),
  acln integer,
  PRIMARY KEY (orno, line)
);

-- Planned activities
CREATE TABLE IF NOT EXISTS tsspc200 (
  ccfg varchar(9) NOT NULL,
  crac varchar(9) NOT NULL,
  aseq integer NOT NULL,
  dsca varchar(30),
  cagr varchar(9),
  cstp varchar(3),
  cwoc varchar(9),
  crob varchar(50),
  oseq integer,
  esct timestamp,
  psct timestamp,
  pfct timestamp,
  lfct timestamp,
  adur double precision,
  trtm double precision,
  skla varchar(9),
  sklb varchar(9),
  sklc varchar(9),
  appo smallint,
  stat smallint,
  orno varchar(9),
  acln integer,
  PRIMARY KEY (ccfg, crac, aseq)
);

-- Addresses
CREATE TABLE IF NOT EXISTS tccom130 (
  cadr varchar(12) NOT NULL PRIMARY KEY,
  nama varchar(35),
  namc varchar(35),
  hono varchar(10),
  name varchar(35),
  pstc varchar(10)
);

-- Availability types
CREATE TABLE IF NOT EXISTS tcccp001 (
  ract varchar(9) NOT NULL PRIMARY KEY,
  dsca varchar(30),
  ptmu smallint,
  hrsd double precision,
  avlb smallint
);

-- Calendar periods of the calendars that service employees use
CREATE TABLE IF NOT EXISTS tcccp030 (
  ccal varchar(9) NOT NULL,
  ract varchar(9) NOT NULL,
  stdt timestamp NOT NULL,
  sttm integer NOT NULL,
  endt timestamp,
  entm integer,
  cutm double precision,
  ccap double precision,
  ustm timestamp,
  uftm timestamp,
  ahrs varchar(30),
  PRIMARY KEY (ccal, ract, stdt, sttm)
);

-- Availability per calendar day, periods of one day merged
CREATE TABLE IF NOT EXISTS tscalender (
  ccal varchar(9),
  sttm timestamp,
  entm timestamp
);
CREATE INDEX IF NOT EXISTS tscalender_ccal ON tscalender (ccal);

-- Availability per calendar day and availability type
CREATE TABLE IF NOT EXISTS tscalenderavail (
  ccal varchar(9),
  ract varchar(9),
  sttm timestamp,
  entm timestamp
);
CREATE INDEX IF NOT EXISTS tscalenderavail_ccal ON tscalenderavail (ccal);
