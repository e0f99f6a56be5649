-- Calvenza on the school's server: the schema "calvenza" and the roles of the machines and the
-- teachers. Applied by the owner of the database (or the postgres superuser), with
--   psql -v ON_ERROR_STOP=1 -d calvenza -f /usr/share/calvenza/calvenza-scuola.sql
-- Applied again to a server made by an older one, it brings it to this layout and keeps every
-- row. It holds no password: login roles are made by the technician (see the README).

BEGIN;
-- Applied again, the policies it replaces are dropped first: no notices for those.
SET LOCAL client_min_messages = warning;

-- Roles belong to the whole cluster, and may exist already from another database.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'calvenza_macchina') THEN
        CREATE ROLE calvenza_macchina NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'calvenza_insegnante') THEN
        CREATE ROLE calvenza_insegnante NOLOGIN;
    END IF;
END
$$;

CREATE SCHEMA IF NOT EXISTS calvenza;
REVOKE ALL ON SCHEMA calvenza FROM PUBLIC;

-- The layout's version; a machine that knows an older one keeps its answers to itself.
CREATE TABLE IF NOT EXISTS calvenza.version (
    only_row boolean PRIMARY KEY DEFAULT true CHECK (only_row),
    version integer NOT NULL
);
INSERT INTO calvenza.version (version) VALUES (2)
    ON CONFLICT (only_row) DO UPDATE SET version = greatest(calvenza.version.version, 2);

CREATE TABLE IF NOT EXISTS calvenza.classes (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name text NOT NULL UNIQUE CHECK (btrim(name) <> '')
);

-- A pupil is a name within a class: Marco of 3A and Marco of 3B are two children. A name typed
-- on a machine that no class holds is a pupil with no class, kept until the teacher places him.
CREATE TABLE IF NOT EXISTS calvenza.pupils (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name text NOT NULL,
    name_key text NOT NULL CHECK (name_key <> ''),
    class_id bigint REFERENCES calvenza.classes ON DELETE SET NULL,
    UNIQUE NULLS NOT DISTINCT (class_id, name_key)
);

CREATE TABLE IF NOT EXISTS calvenza.machines (
    id uuid PRIMARY KEY,
    login name NOT NULL,
    first_seen timestamptz NOT NULL DEFAULT now(),
    last_seen timestamptz NOT NULL DEFAULT now()
);

-- The tables a class's ripasso covers, chosen by the teacher ("questa settimana: 6, 7, 8"); a
-- class without a row, or with no tables, lets each machine choose as before.
CREATE TABLE IF NOT EXISTS calvenza.class_tables (
    class_id bigint PRIMARY KEY REFERENCES calvenza.classes ON DELETE CASCADE,
    tables smallint[] NOT NULL CHECK (tables <@ ARRAY[1,2,3,4,5,6,7,8,9,10]::smallint[]),
    set_at timestamptz NOT NULL DEFAULT now()
);

-- Which teacher keeps which class, by her login role; two teachers may share a class.
CREATE TABLE IF NOT EXISTS calvenza.teachers (
    login name NOT NULL,
    class_id bigint NOT NULL REFERENCES calvenza.classes ON DELETE CASCADE,
    PRIMARY KEY (login, class_id)
);

-- Each answer is keyed by the machine and its place there, so a batch sent twice adds nothing.
CREATE TABLE IF NOT EXISTS calvenza.answers (
    machine_id uuid NOT NULL REFERENCES calvenza.machines,
    local_seq bigint NOT NULL,
    pupil_id bigint NOT NULL REFERENCES calvenza.pupils,
    times_table smallint NOT NULL,
    factor smallint NOT NULL,
    answered_at timestamptz NOT NULL,
    typed text NOT NULL,
    is_right boolean NOT NULL,
    ms_taken integer NOT NULL, -- -1: unknown
    mode smallint NOT NULL, -- 0 challenge, 1 ripasso
    received_at timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (machine_id, local_seq)
);
-- One pupil's picture and ripasso read only this index (with VACUUM keeping it visible).
-- An older layout's index lacked some of the reading's columns: it is made again.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_indexes WHERE schemaname = 'calvenza'
                   AND indexname = 'answers_by_pupil' AND indexdef LIKE '%typed, mode)') THEN
        DROP INDEX IF EXISTS calvenza.answers_by_pupil;
    END IF;
END
$$;
CREATE INDEX IF NOT EXISTS answers_by_pupil ON calvenza.answers
    (pupil_id, answered_at, machine_id, local_seq)
    INCLUDE (times_table, factor, is_right, ms_taken, typed, mode);

-- Each pupil's facts as the register colours them (the counts and the latest five answers, newest
-- first), kept as answers arrive, so a class is read without going through a year of answers.
-- Only the functions below write it; a pupil with answers is never deleted, so it needs no key
-- to the pupils.
CREATE TABLE IF NOT EXISTS calvenza.pupil_facts (
    pupil_id bigint NOT NULL,
    times_table smallint NOT NULL,
    factor smallint NOT NULL,
    asked integer NOT NULL,
    right_count integer NOT NULL,
    latest_at timestamptz[] NOT NULL,
    latest_right boolean[] NOT NULL,
    latest_ms integer[] NOT NULL,
    PRIMARY KEY (pupil_id, times_table, factor)
);

CREATE OR REPLACE FUNCTION calvenza.count_answers() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = calvenza, pg_temp AS $$
BEGIN
    -- In key order, so two batches for one pupil never wait on each other crosswise.
    INSERT INTO pupil_facts AS f (pupil_id, times_table, factor, asked, right_count, latest_at,
            latest_right, latest_ms)
        SELECT n.pupil_id, n.times_table, n.factor, count(*), count(*) FILTER (WHERE n.is_right),
            (array_agg(n.answered_at ORDER BY n.answered_at DESC))[1 : 5],
            (array_agg(n.is_right ORDER BY n.answered_at DESC))[1 : 5],
            (array_agg(n.ms_taken ORDER BY n.answered_at DESC))[1 : 5]
        FROM new_answers n GROUP BY 1, 2, 3 ORDER BY 1, 2, 3
        ON CONFLICT (pupil_id, times_table, factor) DO UPDATE SET
            asked = f.asked + excluded.asked,
            right_count = f.right_count + excluded.right_count,
            -- A machine that was offline sends older answers late: the newest five win.
            (latest_at, latest_right, latest_ms) = (
                SELECT (array_agg(r.at ORDER BY r.at DESC))[1 : 5],
                    (array_agg(r.ok ORDER BY r.at DESC))[1 : 5],
                    (array_agg(r.ms ORDER BY r.at DESC))[1 : 5]
                FROM (SELECT * FROM unnest(f.latest_at, f.latest_right, f.latest_ms)
                      UNION ALL
                      SELECT * FROM unnest(excluded.latest_at, excluded.latest_right,
                                           excluded.latest_ms)) AS r(at, ok, ms));
    RETURN NULL;
END
$$;
CREATE OR REPLACE TRIGGER answers_counted AFTER INSERT ON calvenza.answers
    REFERENCING NEW TABLE AS new_answers
    FOR EACH STATEMENT EXECUTE FUNCTION calvenza.count_answers();

-- Counted again from the answers: after a merge, and once for a server that had answers before
-- the facts were kept.
CREATE OR REPLACE FUNCTION calvenza.recount_facts(pupils bigint[]) RETURNS void
LANGUAGE sql SECURITY DEFINER SET search_path = calvenza, pg_temp AS $$
    DELETE FROM pupil_facts WHERE pupil_id = ANY(pupils);
    INSERT INTO pupil_facts (pupil_id, times_table, factor, asked, right_count, latest_at,
            latest_right, latest_ms)
        SELECT pupil_id, times_table, factor, count(*), count(*) FILTER (WHERE is_right),
            (array_agg(answered_at ORDER BY answered_at DESC))[1 : 5],
            (array_agg(is_right ORDER BY answered_at DESC))[1 : 5],
            (array_agg(ms_taken ORDER BY answered_at DESC))[1 : 5]
        FROM answers WHERE pupil_id = ANY(pupils) GROUP BY 1, 2, 3;
$$;
SELECT calvenza.recount_facts(array_agg(DISTINCT pupil_id)) FROM calvenza.answers
    WHERE NOT EXISTS (SELECT FROM calvenza.pupil_facts);

-- The teacher's register listens; a statement that added nothing says nothing.
CREATE OR REPLACE FUNCTION calvenza.announce_answers() RETURNS trigger
LANGUAGE plpgsql AS $$
DECLARE
    added bigint;
BEGIN
    SELECT count(*) INTO added FROM new_answers;
    IF added > 0 THEN
        PERFORM pg_notify('calvenza_risposte', added::text);
    END IF;
    RETURN NULL;
END
$$;
CREATE OR REPLACE TRIGGER answers_announced AFTER INSERT ON calvenza.answers
    REFERENCING NEW TABLE AS new_answers
    FOR EACH STATEMENT EXECUTE FUNCTION calvenza.announce_answers();

-- The one way a machine adds answers: one statement for a whole batch, idempotent. A pupil is
-- found in the class named, or else among the pupils with no class, where a new name is added;
-- a machine never puts anyone in a class. Returns how many answers were new.
CREATE OR REPLACE FUNCTION calvenza.add_answers(machine uuid, local_seqs bigint[], pupil_names text[],
    pupil_keys text[], class_names text[], times_tables integer[], factors integer[],
    answered_ms bigint[], typed_texts text[], rights boolean[], ms_takens integer[],
    modes integer[])
RETURNS bigint
LANGUAGE plpgsql SECURITY DEFINER SET search_path = calvenza, pg_temp AS $$
DECLARE
    added bigint;
BEGIN
    INSERT INTO machines AS m (id, login) VALUES (machine, session_user)
        ON CONFLICT (id) DO UPDATE SET last_seen = now(), login = excluded.login;
    INSERT INTO pupils (name, name_key)
        SELECT DISTINCT ON (i.name_key) i.name, i.name_key
        FROM unnest(pupil_names, pupil_keys, class_names) AS i(name, name_key, class_name)
        WHERE NOT EXISTS (SELECT FROM pupils p JOIN classes c ON c.id = p.class_id
                          WHERE p.name_key = i.name_key AND c.name = i.class_name)
        ON CONFLICT DO NOTHING;
    INSERT INTO answers (machine_id, local_seq, pupil_id, times_table, factor, answered_at,
            typed, is_right, ms_taken, mode)
        SELECT machine, i.local_seq,
            coalesce((SELECT p.id FROM pupils p JOIN classes c ON c.id = p.class_id
                      WHERE p.name_key = i.name_key AND c.name = i.class_name),
                     (SELECT p.id FROM pupils p
                      WHERE p.name_key = i.name_key AND p.class_id IS NULL)),
            i.times_table, i.factor,
            timestamptz 'epoch' + i.answered_ms * interval '1 millisecond',
            i.typed, i.is_right, i.ms_taken, i.mode
        FROM unnest(local_seqs, pupil_keys, class_names, times_tables, factors, answered_ms,
                    typed_texts, rights, ms_takens, modes)
            AS i(local_seq, name_key, class_name, times_table, factor, answered_ms, typed,
                 is_right, ms_taken, mode)
        ON CONFLICT DO NOTHING;
    GET DIAGNOSTICS added = ROW_COUNT;
    RETURN added;
END
$$;

-- A teacher's class: made when no class has its name, or hers already. A class kept by another
-- teacher stays hers (the technician adds a second teacher in calvenza.teachers). Its id.
CREATE OR REPLACE FUNCTION calvenza.take_class(class_name text)
RETURNS bigint
LANGUAGE plpgsql SECURITY DEFINER SET search_path = calvenza, pg_temp AS $$
DECLARE
    found bigint;
BEGIN
    INSERT INTO classes (name) VALUES (btrim(class_name)) ON CONFLICT (name) DO NOTHING;
    SELECT id INTO found FROM classes WHERE name = btrim(class_name);
    IF EXISTS (SELECT FROM teachers WHERE class_id = found AND login <> session_user)
       AND NOT EXISTS (SELECT FROM teachers WHERE class_id = found AND login = session_user) THEN
        RAISE EXCEPTION 'la classe % è di un''altra insegnante', btrim(class_name)
            USING ERRCODE = '42501';
    END IF;
    INSERT INTO teachers (login, class_id) VALUES (session_user, found) ON CONFLICT DO NOTHING;
    RETURN found;
END
$$;

-- Two names of one child ("Ugo", "Ugoo"): every answer of the one that goes passes to the one
-- that stays, in one transaction. Both must be the caller's to see.
CREATE OR REPLACE FUNCTION calvenza.merge_pupils(staying bigint, going bigint)
RETURNS bigint
LANGUAGE plpgsql SECURITY DEFINER SET search_path = calvenza, pg_temp AS $$
DECLARE
    moved bigint;
BEGIN
    IF staying = going OR (SELECT count(*) FROM pupils p WHERE p.id IN (staying, going)
            AND (p.class_id IS NULL OR p.class_id IN
                 (SELECT t.class_id FROM teachers t WHERE t.login = session_user))) <> 2 THEN
        RAISE EXCEPTION 'alunni non trovati tra quelli delle tue classi' USING ERRCODE = '42501';
    END IF;
    UPDATE answers SET pupil_id = staying WHERE pupil_id = going;
    GET DIAGNOSTICS moved = ROW_COUNT;
    DELETE FROM pupils WHERE id = going;
    PERFORM recount_facts(ARRAY[staying, going]);
    RETURN moved;
END
$$;

-- Row by row: a teacher reads and changes the pupils of her classes, and those with no class so
-- that she can place them; the machines read everything, as before. The owner of the tables
-- (and so add_answers and the functions above) is not held by these rules.
ALTER TABLE calvenza.classes ENABLE ROW LEVEL SECURITY;
ALTER TABLE calvenza.pupils ENABLE ROW LEVEL SECURITY;
ALTER TABLE calvenza.answers ENABLE ROW LEVEL SECURITY;
ALTER TABLE calvenza.class_tables ENABLE ROW LEVEL SECURITY;
ALTER TABLE calvenza.pupil_facts ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS machines_read ON calvenza.classes;
DROP POLICY IF EXISTS machines_read ON calvenza.pupils;
DROP POLICY IF EXISTS machines_read ON calvenza.answers;
DROP POLICY IF EXISTS machines_read ON calvenza.class_tables;
CREATE POLICY machines_read ON calvenza.classes FOR SELECT TO calvenza_macchina USING (true);
CREATE POLICY machines_read ON calvenza.pupils FOR SELECT TO calvenza_macchina USING (true);
CREATE POLICY machines_read ON calvenza.answers FOR SELECT TO calvenza_macchina USING (true);
CREATE POLICY machines_read ON calvenza.class_tables FOR SELECT TO calvenza_macchina
    USING (true);
DROP POLICY IF EXISTS her_classes ON calvenza.classes;
DROP POLICY IF EXISTS her_classes_renamed ON calvenza.classes;
DROP POLICY IF EXISTS her_pupils ON calvenza.pupils;
DROP POLICY IF EXISTS her_answers ON calvenza.answers;
DROP POLICY IF EXISTS her_facts ON calvenza.pupil_facts;
DROP POLICY IF EXISTS her_tables ON calvenza.class_tables;
CREATE POLICY her_classes ON calvenza.classes FOR SELECT TO calvenza_insegnante
    USING (id IN (SELECT class_id FROM calvenza.teachers WHERE login = current_user));
CREATE POLICY her_classes_renamed ON calvenza.classes FOR UPDATE TO calvenza_insegnante
    USING (id IN (SELECT class_id FROM calvenza.teachers WHERE login = current_user));
CREATE POLICY her_pupils ON calvenza.pupils FOR ALL TO calvenza_insegnante
    USING (class_id IS NULL
           OR class_id IN (SELECT class_id FROM calvenza.teachers WHERE login = current_user))
    WITH CHECK (class_id IS NULL
           OR class_id IN (SELECT class_id FROM calvenza.teachers WHERE login = current_user));
CREATE POLICY her_answers ON calvenza.answers FOR SELECT TO calvenza_insegnante
    USING (pupil_id IN (SELECT id FROM calvenza.pupils));
CREATE POLICY her_facts ON calvenza.pupil_facts FOR SELECT TO calvenza_insegnante
    USING (pupil_id IN (SELECT id FROM calvenza.pupils));
CREATE POLICY her_tables ON calvenza.class_tables FOR ALL TO calvenza_insegnante
    USING (class_id IN (SELECT class_id FROM calvenza.teachers WHERE login = current_user))
    WITH CHECK (class_id IN (SELECT class_id FROM calvenza.teachers WHERE login = current_user));

-- Machines: add answers (only through add_answers), read answers, pupils and classes; never
-- change an answer nor a class list.
GRANT USAGE ON SCHEMA calvenza TO calvenza_macchina, calvenza_insegnante;
REVOKE ALL ON ALL FUNCTIONS IN SCHEMA calvenza FROM PUBLIC;
GRANT EXECUTE ON FUNCTION calvenza.add_answers TO calvenza_macchina;
GRANT SELECT ON calvenza.version, calvenza.classes, calvenza.pupils, calvenza.machines,
    calvenza.answers, calvenza.class_tables TO calvenza_macchina;

-- Teachers: read (what the rules above let them see), keep the class lists.
GRANT SELECT ON ALL TABLES IN SCHEMA calvenza TO calvenza_insegnante;
GRANT INSERT, UPDATE, DELETE ON calvenza.classes, calvenza.pupils, calvenza.class_tables
    TO calvenza_insegnante;
GRANT EXECUTE ON FUNCTION calvenza.take_class, calvenza.merge_pupils TO calvenza_insegnante;

COMMIT;
