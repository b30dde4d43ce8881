-- Tablas SQL de la biblioteca DEMO
CREATE TABLE CLIENTES (           -- Clientes
  ID      INTEGER PRIMARY KEY,     -- Numero de cliente
  NOMBRE  VARCHAR(40) NOT NULL,    -- Razon social
  CIUDAD  VARCHAR(30),             -- Ciudad
  SALDO   DECIMAL(11,2),           -- Saldo pendiente
  ALTA    DATE,                    -- Fecha de alta
  ACTIVO  CHAR(1)                  -- S: activo, N: de baja
);
INSERT INTO CLIENTES VALUES (1, 'Construcciones Peñalara, S.A.', 'Madrid', 15230.50, '2019-03-12', 'S');
INSERT INTO CLIENTES VALUES (2, 'Muñoz e Hijos', 'Logroño', -320.75, '2020-07-01', 'S');
INSERT INTO CLIENTES VALUES (3, 'Cigüeña Viajes', 'León', 0, '2021-01-15', 'N');
INSERT INTO CLIENTES VALUES (4, 'Plaça Nova, S.L.', 'Barcelona', 8900, '2022-11-30', 'S');
INSERT INTO CLIENTES VALUES (5, 'Álvarez Ibáñez', 'Ávila', 120.4, '2023-05-05', 'S');
INSERT INTO CLIENTES VALUES (6, 'Talleres Güell', 'Tarragona', NULL, '2024-02-29', 'S');
CREATE TABLE ARTICULOS (          -- Articulos del almacen
  CODIGO  CHAR(8) PRIMARY KEY,     -- Codigo de articulo
  DESCRIP VARCHAR(50),             -- Descripcion
  PRECIO  DECIMAL(9,2),            -- Precio unitario
  STOCK   INTEGER                  -- Unidades en almacen
);
INSERT INTO ARTICULOS VALUES ('ART00001', 'Tornillo cabeza hexagonal M6', 0.12, 15000);
INSERT INTO ARTICULOS VALUES ('ART00002', 'Tuerca autoblocante M6', 0.08, 9800);
INSERT INTO ARTICULOS VALUES ('ART00004', 'Llave inglesa 250 mm', 14.95, 42);
INSERT INTO ARTICULOS VALUES ('ART00005', 'Cinta métrica 5 m', 6.5, 0);
INSERT INTO ARTICULOS VALUES ('ART00006', 'Destornillador estrella nº 2', 3.75, 310);
CREATE TABLE FACTURAS (           -- Facturas emitidas
  NUMERO   INTEGER PRIMARY KEY,    -- Numero de factura
  CLIENTE  INTEGER,                -- Numero de cliente
  FECHA    DATE,                   -- Fecha de emision
  IMPORTE  DECIMAL(11,2),          -- Importe con IVA
  PAGADA   SMALLINT,               -- 1: pagada
  TIPO_IVA DOUBLE                  -- Tipo de IVA aplicado
);
INSERT INTO FACTURAS VALUES (2025001, 1, '2025-01-03', 1210.00, 1, 0.21);
INSERT INTO FACTURAS VALUES (2025002, 2, '2025-01-07', 363.00, 0, 0.21);
INSERT INTO FACTURAS VALUES (2025003, 4, '2025-01-19', 5445.50, 1, 0.10);
INSERT INTO FACTURAS VALUES (2025004, 5, '2025-01-28', 96.80, 0, 0.21);
CREATE TABLE PROVEEDORES (        -- Proveedores
  CODIGO  CHAR(4) PRIMARY KEY,     -- Codigo de proveedor
  NOMBRE  VARCHAR(40),             -- Razon social
  CIUDAD  VARCHAR(30)              -- Ciudad
);
