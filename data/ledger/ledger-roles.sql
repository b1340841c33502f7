-- The rights of the two PostgreSQL roles of a run ledger that several
-- workstations share.
--
-- orvq_admin owns the database and its tables: the program creates and
-- upgrades them under it, and only it changes the bureau's company map and
-- replaces or removes pairings. orvq_workstation is what the workstations
-- log in as: it reads everything and writes its runs, their records, the
-- first pairing of a company or report file and its claims.
--
-- Run by a superuser in the ledger's database once the program has opened
-- it as orvq_admin (which creates the tables), and again after an upgrade:
--     psql -d orvq -f ledger-roles.sql

\set ON_ERROR_STOP on

-- Nobody but the owner makes tables of their own beside the ledger's.
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO orvq_workstation;

REVOKE ALL ON runs, run_payrolls, records, pairings, company_map, claims, ledger_version
    FROM PUBLIC, orvq_workstation;
GRANT SELECT ON runs, run_payrolls, records, pairings, company_map, claims, ledger_version
    TO orvq_workstation;
GRANT INSERT, UPDATE ON runs, records TO orvq_workstation;
GRANT INSERT ON run_payrolls, pairings TO orvq_workstation;
GRANT INSERT, UPDATE, DELETE ON claims TO orvq_workstation;
